// Where the parallel port's registers sit in the PC's I/O space: the one place every backend, the
// TAP engine, the port claim and the simulated board take them from.
#pragma once

#include <cstdint>

namespace tapster {

constexpr uint16_t kLptDataPort = 0x378;    // D0..D7, written
constexpr uint16_t kLptStatusPort = 0x379;  // bit 0x10 carries TDO, read
constexpr uint16_t kLptControlPort = 0x37A; // the third register of the block
constexpr uint16_t kLptRegisterCount = 3;
constexpr uint16_t kLptEcpBase = 0x778; // the port's extended-capability block

} // namespace tapster
