// --port=ftdi[...]: the FTDI MPSSE cable through the USB binding the program is linked with.
#pragma once

#include "port/port_backend.h"

#include <memory>
#include <string>

namespace tapster {

// True when `option` names the FTDI cable ("ftdi", "ftdi:...", "ftdi,...").
bool IsFtdiOption(const std::string& option);
// The backend, or null with a message for a bad option or a system without it.
std::unique_ptr<PortBackend> CreateFtdiPort(const std::string& option, std::string& error);

} // namespace tapster
