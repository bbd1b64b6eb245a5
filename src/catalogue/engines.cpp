// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue/engines.h"

#include "server/server_engine.h"
#include "server/server_upkeep.h"
#include "store/file_engine.h"
#include "store/file_upkeep.h"

namespace catalogue {

namespace {

EngineChooser& chooser()
{
    static EngineChooser chosen;
    return chosen;
}

// A postgresql:// URI names a database on a server; anything else is a file of this computer.
bool onServer(const engine::Location& location)
{
    return engine::Location::namesServer(location.name());
}

} // namespace

std::unique_ptr<engine::Engine> engineFor(const engine::Location& location)
{
    if (chooser())
        return chooser()(location);
    if (onServer(location))
        return std::make_unique<server::ServerEngine>(location);
    return std::make_unique<store::FileEngine>(location);
}

void setEngineChooser(EngineChooser replacement)
{
    chooser() = std::move(replacement);
}

std::unique_ptr<engine::Upkeep> upkeepFor(const engine::Location& location)
{
    if (onServer(location))
        return std::make_unique<server::ServerUpkeep>(location);
    return std::make_unique<store::FileUpkeep>(location);
}

} // namespace catalogue
