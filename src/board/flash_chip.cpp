#include "board/flash_chip.h"

#include <algorithm>

namespace tapster::board {

namespace {
// Command addresses are word addresses; the chip decodes only the low eleven address lines.
constexpr uint32_t kUnlockAddr1 = 0x555;
constexpr uint32_t kUnlockAddr2 = 0x2AA;
constexpr uint32_t kCommandAddrMask = 0x7FF;

constexpr uint8_t kUnlockData1 = 0xAA;
constexpr uint8_t kUnlockData2 = 0x55;
constexpr uint8_t kAutoselect = 0x90;
constexpr uint8_t kProgram = 0xA0;
constexpr uint8_t kEraseSetup = 0x80;
constexpr uint8_t kChipErase = 0x10;
constexpr uint8_t kSectorErase = 0x30;
constexpr uint8_t kReset = 0xF0;

// Autoselect words, by the low word-address bits.
constexpr uint32_t kIdManufacturer = 0x00;
constexpr uint32_t kIdDevice = 0x01;
constexpr uint32_t kIdProtection = 0x02;
} // namespace

FlashChip::FlashChip(const FlashChipInfo& info) : info_(info), array_(info.Size(), 0xFF) {
    uint32_t start = 0;
    for (const SectorRun& run : info.layout) {
        for (uint32_t i = 0; i < run.count; ++i) {
            sectors_.push_back({start, run.size, false});
            start += run.size;
        }
    }
}

size_t FlashChip::SectorOf(uint32_t offset) const {
    offset = Wrap(offset);
    auto after = std::upper_bound(sectors_.begin(), sectors_.end(), offset,
                                  [](uint32_t o, const Sector& s) { return o < s.start; });
    return static_cast<size_t>(after - sectors_.begin()) - 1;
}

void FlashChip::SetProtected(uint32_t offset, bool on) {
    sectors_[SectorOf(offset)].protectedFlag = on;
}

bool FlashChip::IsProtected(uint32_t offset) const {
    return sectors_[SectorOf(offset)].protectedFlag;
}

void FlashChip::Load(uint32_t offset, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i)
        array_[Wrap(offset + static_cast<uint32_t>(i))] = bytes[i];
}

uint16_t FlashChip::ArrayWord(uint32_t offset) const {
    const uint32_t at = Wrap(offset) & ~1u;
    return static_cast<uint16_t>(array_[at] | array_[at + 1] << 8);
}

uint16_t FlashChip::Read16(uint32_t offset) const {
    if (state_ != State::Autoselect) return ArrayWord(offset);
    switch ((Wrap(offset) >> 1) & 0xFF) {
    case kIdManufacturer:
        return info_.manufacturer;
    case kIdDevice:
        return info_.device;
    case kIdProtection:
        return IsProtected(offset) ? 0x0001 : 0x0000;
    default:
        return 0x0000;
    }
}

void FlashChip::Program(uint32_t offset, uint16_t value) {
    if (IsProtected(offset)) return; // the chip ignores the cycle and returns to read mode
    const uint32_t at = Wrap(offset) & ~1u;
    array_[at] &= static_cast<uint8_t>(value);
    array_[at + 1] &= static_cast<uint8_t>(value >> 8);
}

void FlashChip::EraseSector(size_t index) {
    const Sector& sector = sectors_[index];
    if (sector.protectedFlag) return;
    std::fill_n(array_.begin() + sector.start, sector.size, uint8_t{0xFF});
}

void FlashChip::Write16(uint32_t offset, uint16_t value) {
    // In word mode the upper data byte of a command cycle is "don't care".
    const uint8_t data = static_cast<uint8_t>(value);
    const uint32_t addr = (Wrap(offset) >> 1) & kCommandAddrMask;
    const State was = state_;
    state_ = State::Read; // any unexpected cycle falls back to reading the array

    if (was == State::ProgramSetup) {
        Program(offset, value);
        return;
    }
    if (data == kReset) return;

    switch (was) {
    case State::Read:
        if (data == kUnlockData1 && addr == kUnlockAddr1) state_ = State::Unlocked1;
        break;
    case State::Unlocked1:
        if (data == kUnlockData2 && addr == kUnlockAddr2) state_ = State::Unlocked2;
        break;
    case State::Unlocked2:
        if (addr != kUnlockAddr1) break;
        if (data == kAutoselect)
            state_ = State::Autoselect;
        else if (data == kProgram)
            state_ = State::ProgramSetup;
        else if (data == kEraseSetup)
            state_ = State::EraseSetup;
        break;
    case State::Autoselect:
        state_ = State::Autoselect; // only the reset command leaves autoselect
        break;
    case State::EraseSetup:
        if (data == kUnlockData1 && addr == kUnlockAddr1) state_ = State::EraseUnlocked1;
        break;
    case State::EraseUnlocked1:
        if (data == kUnlockData2 && addr == kUnlockAddr2) state_ = State::EraseUnlocked2;
        break;
    case State::EraseUnlocked2:
        if (data == kChipErase && addr == kUnlockAddr1) {
            for (size_t i = 0; i < sectors_.size(); ++i)
                EraseSector(i);
        } else if (data == kSectorErase) {
            EraseSector(SectorOf(offset));
        }
        break;
    case State::ProgramSetup:
        break; // handled above
    }
}

} // namespace tapster::board
