#include "board/flash_chip_window.h"

namespace tapster::board {

void FlashChipWindow::Flush() {
    lastRead_.reset();
    if (!pending_) return;
    const Pending low = *pending_;
    pending_.reset();
    chip_.Write16(low.offset, static_cast<uint16_t>(0xFF00 | low.value));
}

uint8_t FlashChipWindow::Read8(uint32_t offset) {
    if ((offset & 1) != 0 && lastRead_ && lastRead_->offset + 1 == offset &&
        lastRead_->at == chip_.Now()) {
        const uint16_t word = lastRead_->word;
        lastRead_.reset();
        return static_cast<uint8_t>(word >> 8);
    }
    Flush();
    const uint16_t word = chip_.Read16(offset & ~1u);
    if ((offset & 1) == 0) lastRead_ = LastRead{offset, word, chip_.Now()};
    return static_cast<uint8_t>((offset & 1) ? word >> 8 : word);
}

void FlashChipWindow::Write8(uint32_t offset, uint8_t value) {
    lastRead_.reset();
    if ((offset & 1) == 0) {
        Flush();
        pending_ = Pending{offset, value};
        return;
    }
    if (pending_ && pending_->offset + 1 == offset) {
        const uint8_t low = pending_->value;
        pending_.reset();
        chip_.Write16(offset - 1, static_cast<uint16_t>(low | value << 8));
        return;
    }
    Flush();
    chip_.Write16(offset - 1, static_cast<uint16_t>(0x00FF | value << 8));
}

} // namespace tapster::board
