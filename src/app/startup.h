// What both front ends do before the first command: pick the port backend from the command line
// (--simulate[=PRESET.json] or --port=ppdev:/dev/parportN | direct | remote:HOST:PORT) and
// install it behind ReadPortByte/WritePortByte. Never falls back silently to the board.
#pragma once

#include "port/port_backend.h"

#include <memory>
#include <string>

namespace tapster {

struct BackendOptions {
    bool simulate = false;
    std::string preset; // --simulate=PRESET.json
    std::string port;   // --port=...; empty: the first real parallel port
};

// Creates the backend the options name and installs it with SetPortBackend. Null with a message
// when it cannot be created (a bad preset file, an unknown port kind).
std::unique_ptr<PortBackend> CreateBackend(const BackendOptions& options, std::string& error);

// The lines of --help that describe the options above.
std::string BackendOptionsHelp();

} // namespace tapster
