#include "board/flash_chip.h"

#include <algorithm>

namespace tapster::board {

FlashChip::FlashChip(const FlashChipInfo& info, FlashTiming timing, FlashFaults faults)
    : info_(info), timing_(timing), faults_(std::move(faults)), array_(info.Size(), 0xFF),
      cfi_(BuildCfi(info)) {
    uint32_t start = 0;
    for (const SectorRun& run : info.layout) {
        for (uint32_t i = 0; i < run.count; ++i) {
            sectors_.push_back({start, run.size, false, false});
            start += run.size;
        }
    }
    for (uint32_t offset : faults_.badSectors) {
        if (offset < Size()) sectors_[SectorOf(offset)].bad = true;
    }
    LockAll();
}

void FlashChip::LockAll() {
    if (info_.locking != FlashLocking::BlockLock) return;
    for (Sector& sector : sectors_) {
        sector.protectedFlag = true;
        sector.lockedDown = false;
    }
}

uint64_t FlashChip::CyclesFor(uint64_t micros) const {
    if (cycles_ == nullptr) return 0;
    const uint64_t cycles = micros * timing_.cpuClockHz / 1'000'000;
    const uint64_t percent = timing_.busyPercent;
    if (percent != 0 && cycles > kNever / 2 / percent) return kNever / 2; // far beyond any run
    return cycles * percent / 100;
}

size_t FlashChip::SectorOf(uint32_t offset) const {
    offset = Wrap(offset);
    auto after = std::upper_bound(sectors_.begin(), sectors_.end(), offset,
                                  [](uint32_t o, const Sector& s) { return o < s.start; });
    return static_cast<size_t>(after - sectors_.begin()) - 1;
}

void FlashChip::SetProtected(uint32_t offset, bool on) {
    Sector& sector = sectors_[SectorOf(offset)];
    if (info_.locking == FlashLocking::BlockLock) {
        sector.lockedDown = on;
        sector.protectedFlag = sector.protectedFlag || on;
    } else {
        sector.protectedFlag = on && info_.locking != FlashLocking::None;
    }
}

bool FlashChip::Locked(size_t sector) const {
    if (sectors_[sector].protectedFlag) return true;
    // C3: a locked-down block is locked whenever WP# is low, whatever was unlocked meanwhile.
    if (sectors_[sector].lockedDown && wpLow_) return true;
    return info_.locking == FlashLocking::WriteProtectPin && wpLow_ && sector < info_.wpBlocks;
}

bool FlashChip::IsProtected(uint32_t offset) const {
    return Locked(SectorOf(offset));
}

void FlashChip::Load(uint32_t offset, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i)
        array_[Wrap(offset + static_cast<uint32_t>(i))] = bytes[i];
}

uint16_t FlashChip::ArrayWord(uint32_t offset) const {
    const uint32_t at = Wrap(offset) & ~1u;
    return static_cast<uint16_t>(array_[at] | array_[at + 1] << 8);
}

bool FlashChip::Stuck(uint32_t offset) const {
    if (faults_.stuckBits == 0) return false;
    if (faults_.stuckLength == 0) return true;
    return Wrap(offset) - faults_.stuckFrom < faults_.stuckLength;
}

void FlashChip::ProgramArray(uint32_t offset, uint16_t value) {
    if (Stuck(offset)) value |= faults_.stuckBits;
    const uint32_t at = Wrap(offset) & ~1u;
    array_[at] &= static_cast<uint8_t>(value);
    array_[at + 1] &= static_cast<uint8_t>(value >> 8);
}

void FlashChip::EraseArray(size_t index) {
    const Sector& sector = sectors_[index];
    std::fill_n(array_.begin() + sector.start, sector.size, uint8_t{0xFF});
}

uint64_t FlashChip::EraseMicros(size_t index) const {
    uint32_t largest = 0;
    for (const SectorRun& run : info_.layout)
        largest = std::max(largest, run.size);
    if (info_.busy.smallEraseTyp != 0 && sectors_[index].size < largest)
        return info_.busy.smallEraseTyp;
    return info_.busy.eraseTyp;
}

void FlashChip::Advance() {
    if (!busy_) return;
    if (info_.family != FlashFamily::Intel && windowOpen_) {
        if (Now() < op_.windowEnd) return;
        AmdStartErase();
    }
    if (busy_ && Now() >= op_.end) Finish();
}

void FlashChip::Finish() {
    busy_ = false;
    if (info_.family == FlashFamily::Intel)
        status_ = static_cast<uint8_t>(status_ | 0x80 | op_.errors);
    else
        mode_ = Mode::Read;
}

void FlashChip::Reset() {
    busy_ = false;
    windowOpen_ = false;
    op_ = {};
    mode_ = Mode::Read;
    status_ = 0x80;
    LockAll();
}

bool FlashChip::InReadMode() {
    Advance();
    return !busy_ && mode_ == Mode::Read;
}

bool FlashChip::Busy() {
    Advance();
    return busy_;
}

uint16_t FlashChip::Read16(uint32_t offset) {
    Advance();
    return info_.family == FlashFamily::Intel ? IntelRead(offset) : AmdRead(offset);
}

void FlashChip::Write16(uint32_t offset, uint16_t value) {
    Advance();
    if (info_.family == FlashFamily::Intel)
        IntelWrite(offset, value);
    else
        AmdWrite(offset, value);
}

uint16_t FlashChip::IdentifierWord(uint32_t offset) const {
    // By the low word-address bits; the protection word answers for the sector it falls in
    // (bit 0 protected or locked; on a C3 bit 1 locked down). An SST part in software ID mode
    // looks only at A0 (SST39VF1601 data sheet: maker's code with A0 = 0, device with A0 = 1).
    if (Sst()) return (offset & 2) != 0 ? info_.device : info_.manufacturer;
    switch ((Wrap(offset) >> 1) & 0xFF) {
    case 0x00:
        return info_.manufacturer;
    case 0x01:
        return info_.device;
    case 0x02:
        return static_cast<uint16_t>((IsProtected(offset) ? 0x0001 : 0x0000) |
                                     (sectors_[SectorOf(offset)].lockedDown ? 0x0002 : 0x0000));
    default:
        return 0x0000;
    }
}

uint16_t FlashChip::CfiWord(uint32_t offset) const {
    const uint32_t index = (Wrap(offset) >> 1) & 0xFF;
    return index < cfi_.size() ? cfi_[index] : 0x0000;
}

} // namespace tapster::board
