// The simulated board as the port backend of --simulate, told the host's delay as it changes.
#pragma once

#include "port/port_backend.h"

#include <memory>
#include <string>

namespace tapster {

// The built-in board, or the one a preset file describes (preset not empty). Null with a
// message when the preset cannot be loaded.
std::unique_ptr<PortBackend> CreateSimulatedPort(const std::string& preset, std::string& error);

} // namespace tapster
