// JTAG initialisation, CPU identification and the cable loop-back test.
#pragma once

#include <cstdint>

namespace tapster {

constexpr uint32_t kIdSti5510 = 0x2D4CD041;
constexpr uint32_t kIdSti5512 = 0x5D406041;

void InitJtag();
uint32_t ReadIdCode();
// Logs the CPU type, or the IDCODE read when it is neither CPU. True when an IDCODE was read, an
// unknown chip's too (that is no error); false for all ones (no target) and for what a stuck or
// chattering line reads.
bool IdentifyCpu();
// Whether `code` can be a chip's IDCODE at all.
bool IsIdCode(uint32_t code);
void ReleaseJtag();
bool LoopbackTest(uint32_t count);

} // namespace tapster
