#include "catalogue/engines.h"

#include "server/server_upkeep.h"
#include "store/file_upkeep.h"

namespace catalogue {

std::unique_ptr<engine::Upkeep> upkeepFor(const engine::Location& location)
{
    if (engine::Location::namesServer(location.name()))
        return std::make_unique<server::ServerUpkeep>(location);
    return std::make_unique<store::FileUpkeep>(location);
}

} // namespace catalogue
