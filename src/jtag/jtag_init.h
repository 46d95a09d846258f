// JTAG initialisation, CPU identification and the cable loop-back test.
#pragma once

#include <cstdint>

namespace tapster {

constexpr uint32_t kIdSti5510 = 0x2D4CD041;
constexpr uint32_t kIdSti5512 = 0x5D406041;

void InitJtag();
uint32_t ReadIdCode();
void IdentifyCpu();
void ReleaseJtag();
bool LoopbackTest(uint32_t count);

} // namespace tapster
