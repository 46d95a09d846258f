// JTAG initialisation, CPU identification and the cable loop-back test.
#pragma once

#include <cstdint>

namespace tapster {

constexpr uint32_t kIdSti5510 = 0x2D4CD041;
constexpr uint32_t kIdSti5512 = 0x5D406041;

void InitJtag();
uint32_t ReadIdCode();
// Logs the CPU type, or the IDCODE read when it is neither CPU. True only for a CPU this tool
// serves: all ones (no target), a stuck or chattering line and an unknown chip all read false.
bool IdentifyCpu();
void ReleaseJtag();
bool LoopbackTest(uint32_t count);

} // namespace tapster
