// The NOR flash chips the simulated board can carry, one table row per part. All are 16-bit
// (word mode) parts with the JEDEC/AMD command set.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tapster::board {

// `count` consecutive sectors of `size` bytes each.
struct SectorRun {
    uint32_t count = 0;
    uint32_t size = 0;
};

struct FlashChipInfo {
    std::string_view name;
    uint16_t manufacturer = 0;     // autoselect word 0
    uint16_t device = 0;           // autoselect word 1
    std::vector<SectorRun> layout; // from offset 0 upwards; the runs add up to the chip size

    uint32_t Size() const;
};

// All known parts, in table order.
const std::vector<FlashChipInfo>& FlashChipTable();

// The row whose name matches (case-insensitive), or nullptr.
const FlashChipInfo* FindFlashChip(std::string_view name);

} // namespace tapster::board
