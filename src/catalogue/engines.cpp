#include "catalogue/engines.h"

#include "server/server_engine.h"
#include "store/file_engine.h"

namespace catalogue {

namespace {

EngineChooser& chooser()
{
    static EngineChooser chosen;
    return chosen;
}

} // namespace

std::unique_ptr<engine::Engine> engineFor(const engine::Location& location)
{
    if (chooser())
        return chooser()(location);
    if (engine::Location::namesServer(location.name()))
        return std::make_unique<server::ServerEngine>(location);
    return std::make_unique<store::FileEngine>(location);
}

void setEngineChooser(EngineChooser replacement)
{
    chooser() = std::move(replacement);
}

} // namespace catalogue
