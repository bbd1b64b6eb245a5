// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/engine.h"
#include "engine/location.h"
#include "engine/upkeep.h"

#include <functional>
#include <memory>

// The one place that knows which engines there are and which one serves a location.

namespace catalogue {

// The engine that serves a location, for the windows' lists and changes. Nothing is opened yet.
std::unique_ptr<engine::Engine> engineFor(const engine::Location& location);

// Lets a test put an engine of its own behind every channel (an empty chooser restores the program's own).
using EngineChooser = std::function<std::unique_ptr<engine::Engine>(const engine::Location&)>;
void setEngineChooser(EngineChooser chooser);

// The whole-catalogue work (the catalogue tool's) of the engine that serves location.
std::unique_ptr<engine::Upkeep> upkeepFor(const engine::Location& location);

} // namespace catalogue
