// JTAG initialisation, CPU identification and the cable loop-back test.
#pragma once

#include <cstdint>

namespace tapster {

constexpr uint32_t kIdSti5510 = 0x2D4CD041;
constexpr uint32_t kIdSti5512 = 0x5D406041;

void InitJtag();
uint32_t ReadIdCode();
// Logs the CPU type or IDCODE. False when no IDCODE was read: all ones (no target answers) or
// bit 0 clear, which no IEEE 1149.1 IDCODE has.
bool IdentifyCpu();
void ReleaseJtag();
bool LoopbackTest(uint32_t count);

} // namespace tapster
