// The flash window a flash base names: the addresses a flash command may touch.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tapster {

// The window starts at the base and spans the largest chip of the chip table, but never reaches
// into the target RAM at 80000000 (where the agent itself runs) from below it.
uint32_t FlashWindowEnd(uint32_t flashBase);

// Why `length` bytes at `address` do not lie in the window of `flashBase` (a base of 0 names
// none); nothing when they do. A length of 0 checks the address alone.
std::optional<std::string> FlashWindowFault(uint32_t flashBase, uint32_t address, uint32_t length);

} // namespace tapster
