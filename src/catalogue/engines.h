#pragma once

#include "engine/engine.h"

#include <functional>
#include <memory>

namespace catalogue {

// The engine that serves a location: the one place that knows which engines there are. Nothing is opened yet.
std::unique_ptr<engine::Engine> engineFor(const engine::Location& location);

// Lets a test put an engine of its own behind every channel (an empty chooser restores the program's own).
using EngineChooser = std::function<std::unique_ptr<engine::Engine>(const engine::Location&)>;
void setEngineChooser(EngineChooser chooser);

} // namespace catalogue
