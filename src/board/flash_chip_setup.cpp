#include "board/flash_chip_setup.h"

namespace tapster::board {

std::unique_ptr<FlashChip> BuildFlashChip(const BoardConfig& config) {
    const FlashChipInfo* info = FindFlashChip(config.flash.chip);
    if (info == nullptr) return nullptr;
    const FlashTiming timing{config.cpuClockHz, config.flash.busyPercent};
    auto chip = std::make_unique<FlashChip>(*info, timing, config.flash.faults);
    for (uint32_t offset : config.flash.protectedSectors) {
        if (offset < chip->Size()) chip->SetProtected(offset, true);
    }
    chip->SetWriteProtect(config.flash.writeProtect);
    return chip;
}

} // namespace tapster::board
