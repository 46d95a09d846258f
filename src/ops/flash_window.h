// The flash window a flash base names: the addresses a flash command may touch.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tapster {

// The CPU's internal ROM: 128 KiB at the top of the external address space. Accesses there never
// reach the bus, so it hides whatever flash a board decodes beneath it.
constexpr uint32_t kInternalRomStart = 0x7FFE0000;
constexpr uint32_t kInternalRomLength = 0x20000;

// The window starts at the base and spans the largest chip of the chip table, but never reaches
// into the target RAM at 80000000 (where the agent itself runs) from below it.
uint32_t FlashWindowEnd(uint32_t flashBase);

// Why `length` bytes at `address` do not lie in the window of `flashBase` (a base of 0 names
// none); nothing when they do. A length of 0 checks the address alone.
std::optional<std::string> FlashWindowFault(uint32_t flashBase, uint32_t address, uint32_t length);

// Why `length` bytes at `address` cannot be reached through the bus because the internal ROM
// covers some of them; nothing when none are covered. The window's buttons keep the plain window
// rule; a flash job, which must read back every byte it writes, refuses such a range up front.
std::optional<std::string> InternalRomFault(uint32_t address, uint32_t length);

} // namespace tapster
