// Raw reads and writes of the parallel-port registers.
#pragma once

#include <cstdint>

namespace tapster {

uint8_t ReadPortByte(uint16_t port);
void WritePortByte(uint16_t port, uint8_t value);

// Outside Windows, a port instruction on an address that the active permission map does not
// allow is a hard fault, as the operating system would make it. The default handler prints the
// address and aborts; tests install their own to catch a missing claim.
using PortFaultHandler = void (*)(uint16_t port, bool write);
void SetPortFaultHandler(PortFaultHandler handler);

} // namespace tapster
