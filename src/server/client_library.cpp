// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/client_library.h"

#include "platform/failure.h"

#include <QByteArray>
#include <atomic>
#include <dlfcn.h>
#include <memory>
#include <mutex>

namespace server {

namespace {

// The soname of libpq since PostgreSQL 8.x; its calls have kept their form since.
const char defaultLibraryName[] = "libpq.so.5";

std::mutex loading;
QString libraryName = QString::fromLatin1(defaultLibraryName);
std::atomic<const ClientFunctions*> loaded{nullptr};

// Opens the library and resolves every function, or throws why not. By hand rather than with QLibrary: dlerror()
// names the file and the missing symbol exactly as the user needs to hear it, and no unloading is wanted.
std::unique_ptr<ClientFunctions> load(const QString& name)
{
    const QByteArray file = name.toLocal8Bit();
    void* library = ::dlopen(file.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = ::dlerror();
        throw platform::Failure(QStringLiteral("the PostgreSQL client library cannot be loaded: %1")
                                    .arg(why ? QString::fromLocal8Bit(why) : name));
    }
    auto functions = std::make_unique<ClientFunctions>();
    const auto resolve = [&](auto& pointer, const char* symbol) {
        pointer = reinterpret_cast<std::remove_reference_t<decltype(pointer)>>(::dlsym(library, symbol));
        if (!pointer) {
            ::dlclose(library);
            throw platform::Failure(QStringLiteral("the PostgreSQL client library is too old: %1 has no %2")
                                        .arg(name, QLatin1String(symbol)));
        }
    };
#define MEDIATAR_CLIENT_FUNCTION_RESOLVE(function) resolve(functions->function, #function);
    MEDIATAR_CLIENT_FUNCTIONS(MEDIATAR_CLIENT_FUNCTION_RESOLVE)
#undef MEDIATAR_CLIENT_FUNCTION_RESOLVE
    return functions;
}

} // namespace

const ClientFunctions& pq()
{
    if (const ClientFunctions* functions = loaded.load(std::memory_order_acquire))
        return *functions;
    const std::lock_guard<std::mutex> lock(loading);
    if (const ClientFunctions* functions = loaded.load(std::memory_order_acquire))
        return *functions;
    // Kept for the life of the process, like the library it points into.
    const ClientFunctions* functions = load(libraryName).release();
    loaded.store(functions, std::memory_order_release);
    return *functions;
}

QString clientLibraryName()
{
    const std::lock_guard<std::mutex> lock(loading);
    return libraryName;
}

void setClientLibraryName(const QString& name)
{
    const std::lock_guard<std::mutex> lock(loading);
    libraryName = name;
    loaded.store(nullptr, std::memory_order_release);
}

} // namespace server
