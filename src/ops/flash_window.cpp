#include "ops/flash_window.h"

#include "core/hex.h"
#include "ops/flash_chips.h"

#include <algorithm>

namespace tapster {

namespace {
constexpr uint64_t kTargetRam = 0x80000000;

uint64_t LargestChip() {
    uint64_t largest = 0;
    for (const FlashChip& chip : FlashChips())
        largest = std::max<uint64_t>(largest, chip.Size());
    return largest;
}

// One past the last of `length` bytes at `address`; a length of 0 stands for the address alone.
uint64_t RangeEnd(uint32_t address, uint32_t length) {
    return static_cast<uint64_t>(address) + (length == 0 ? 1 : length);
}

// The range a fault names: "the flash addresses X to Y".
std::string FlashAddresses(uint32_t address, uint64_t end) {
    return "the flash addresses " + Hex8(address) + " to " + Hex8(static_cast<uint32_t>(end - 1));
}
} // namespace

uint32_t FlashWindowEnd(uint32_t flashBase) {
    uint64_t end = static_cast<uint64_t>(flashBase) + LargestChip();
    if (flashBase < kTargetRam) end = std::min(end, kTargetRam);
    return static_cast<uint32_t>(std::min<uint64_t>(end, 0xFFFFFFFFu));
}

std::optional<std::string> FlashWindowFault(uint32_t flashBase, uint32_t address, uint32_t length) {
    if (flashBase == 0 || (flashBase & 1) != 0)
        return "the flash base " + Hex8(flashBase) + " names no flash window";
    const uint64_t end = FlashWindowEnd(flashBase);
    const uint64_t last = RangeEnd(address, length);
    if (address < flashBase || last > end)
        return FlashAddresses(address, last) + " leave the flash window " + Hex8(flashBase) +
               " to " + Hex8(static_cast<uint32_t>(end - 1));
    return std::nullopt;
}

std::optional<std::string> InternalRomFault(uint32_t address, uint32_t length) {
    const uint64_t last = RangeEnd(address, length);
    const uint64_t romEnd = uint64_t{kInternalRomStart} + kInternalRomLength;
    if (last <= kInternalRomStart || address >= romEnd) return std::nullopt;
    return FlashAddresses(address, last) + " reach the CPU's internal ROM at " +
           Hex8(kInternalRomStart) + ", which hides the flash beneath it from the bus";
}

} // namespace tapster
