#pragma once

#include "engine/location.h"
#include "engine/upkeep.h"

#include <memory>

namespace catalogue {

// The whole-catalogue work (the catalogue tool's) of the engine that serves location.
std::unique_ptr<engine::Upkeep> upkeepFor(const engine::Location& location);

} // namespace catalogue
