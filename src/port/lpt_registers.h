// The cable: where the parallel port's registers sit in the PC's I/O space and which bit of them
// carries which JTAG line. The one place every backend, the TAP engine, the port claim, the board's
// remote session server and the simulated board take them from.
#pragma once

#include <cstdint>

namespace tapster {

constexpr uint16_t kLptDataPort = 0x378;    // D0..D7, written
constexpr uint16_t kLptStatusPort = 0x379;  // bit 0x10 carries TDO, read
constexpr uint16_t kLptControlPort = 0x37A; // the third register of the block
constexpr uint16_t kLptRegisterCount = 3;
constexpr uint16_t kLptEcpBase = 0x778; // the port's extended-capability block

// The lines the cable drives from the data register.
constexpr uint8_t kPinTms = 0x01;     // D0
constexpr uint8_t kPinTck = 0x02;     // D1
constexpr uint8_t kPinTdi = 0x04;     // D2
constexpr uint8_t kPinControl = 0x08; // D3: the target's control (reset) line, low asserts it
// The line the cable reads back in the status register.
constexpr uint8_t kPinTdo = 0x10;
// The other status lines of an idle port with the cable attached; they carry nothing.
constexpr uint8_t kLptStatusIdle = 0x6F;

} // namespace tapster
