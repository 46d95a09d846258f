#include "board/flash_chip_table.h"

#include <cctype>

namespace tapster::board {

namespace {
constexpr uint32_t KiB = 1024;
} // namespace

uint32_t FlashChipInfo::Size() const {
    uint32_t total = 0;
    for (const SectorRun& run : layout)
        total += run.count * run.size;
    return total;
}

const std::vector<FlashChipInfo>& FlashChipTable() {
    // Boot-sector parts: the small sectors sit at the bottom (B) or at the top (T) of the array.
    static const std::vector<FlashChipInfo> table = {
        {"AM29LV160DB",
         0x0001,
         0x2249,
         {{1, 16 * KiB}, {2, 8 * KiB}, {1, 32 * KiB}, {31, 64 * KiB}}},
        {"AM29LV160DT",
         0x0001,
         0x22C4,
         {{31, 64 * KiB}, {1, 32 * KiB}, {2, 8 * KiB}, {1, 16 * KiB}}},
        {"M29W160EB", 0x0020, 0x2249, {{1, 16 * KiB}, {2, 8 * KiB}, {1, 32 * KiB}, {31, 64 * KiB}}},
        {"AM29LV800DB",
         0x0001,
         0x225B,
         {{1, 16 * KiB}, {2, 8 * KiB}, {1, 32 * KiB}, {15, 64 * KiB}}},
    };
    return table;
}

const FlashChipInfo* FindFlashChip(std::string_view name) {
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            if (std::toupper(static_cast<unsigned char>(a[i])) !=
                std::toupper(static_cast<unsigned char>(b[i])))
                return false;
        }
        return true;
    };
    for (const FlashChipInfo& chip : FlashChipTable()) {
        if (same(chip.name, name)) return &chip;
    }
    return nullptr;
}

} // namespace tapster::board
