// The AMD/JEDEC command set: unlock cycles, autoselect, CFI, program, sector and chip erase,
// and the status bits a busy chip answers with (DQ7 data polling, DQ6 and DQ2 toggle bits, DQ5
// time-out, DQ3 sector-erase timer). SST's variant (SST39VF1601/3201 data sheet, "Software
// Command Sequence"): A14..A0 decoded, so the unlock cycles are at words 0x5555/0x2AAA (an AMD
// part decodes only A10..A0 and takes those as 0x555/0x2AA, Am29LV160D data sheet); software ID
// and CFI entered with three cycles (0x90, 0x98) and left with 0xF0; sector erase 0x30 (4 KiB)
// and block erase 0x50 (64 KiB) start at once, with no erase window; DQ7 and DQ6/DQ2 while busy
// but no DQ5 and no DQ3; no sector protection.
#include "board/flash_chip.h"

#include <algorithm>

namespace tapster::board {

namespace {
// Command addresses are word addresses; an AMD chip decodes only the low eleven address lines,
// an SST chip fifteen.
constexpr uint32_t kUnlockAddr1 = 0x555;
constexpr uint32_t kUnlockAddr2 = 0x2AA;
constexpr uint32_t kCfiAddr = 0x55;
constexpr uint32_t kCommandAddrMask = 0x7FF;
constexpr uint32_t kSstUnlockAddr1 = 0x5555;
constexpr uint32_t kSstUnlockAddr2 = 0x2AAA;
constexpr uint32_t kSstCommandAddrMask = 0x7FFF;

constexpr uint8_t kUnlockData1 = 0xAA;
constexpr uint8_t kUnlockData2 = 0x55;
constexpr uint8_t kAutoselect = 0x90;
constexpr uint8_t kCfiQuery = 0x98;
constexpr uint8_t kProgram = 0xA0;
constexpr uint8_t kEraseSetup = 0x80;
constexpr uint8_t kChipErase = 0x10;
constexpr uint8_t kSectorErase = 0x30;
constexpr uint8_t kSstBlockErase = 0x50;
constexpr uint8_t kEraseSuspend = 0xB0;
constexpr uint8_t kReset = 0xF0;

constexpr uint16_t kDq7 = 0x80;
constexpr uint16_t kDq6 = 0x40;
constexpr uint16_t kDq5 = 0x20;
constexpr uint16_t kDq3 = 0x08;
constexpr uint16_t kDq2 = 0x04;

// Data-sheet figures for every AMD part here, in microseconds.
constexpr uint64_t kEraseWindowMicros = 50;   // further sectors may join a sector erase
constexpr uint64_t kRefusedProgramMicros = 1; // program on a protected sector
constexpr uint64_t kRefusedEraseMicros = 100; // erase with every selected sector protected
} // namespace

uint16_t FlashChip::AmdRead(uint32_t offset) {
    if (busy_) return AmdStatus(offset);
    switch (mode_) {
    case Mode::Autoselect:
        return IdentifierWord(offset);
    case Mode::Cfi:
        return CfiWord(offset);
    default:
        return ArrayWord(offset);
    }
}

uint16_t FlashChip::AmdStatus(uint32_t offset) {
    const bool erase = op_.kind == OpKind::Erase;
    uint16_t status = 0;
    if (!erase && (op_.data & kDq7) == 0) status |= kDq7; // the complement of the data's bit 7
    if (toggle6_) status |= kDq6;
    toggle6_ = !toggle6_;
    if (Now() >= op_.limit) status |= kDq5;
    if (erase) {
        if (!windowOpen_ && !Sst()) status |= kDq3;
        const size_t sector = SectorOf(offset);
        if (std::find(op_.sectors.begin(), op_.sectors.end(), sector) != op_.sectors.end()) {
            if (toggle2_) status |= kDq2;
            toggle2_ = !toggle2_;
        }
    }
    return status;
}

// Where DQ5 rises: `micros` after `from` on an AMD part; an SST part has no DQ5 and never stops.
uint64_t FlashChip::Dq5At(uint64_t from, uint64_t micros) const {
    return Sst() ? kNever : from + CyclesFor(micros);
}

void FlashChip::AmdProgram(uint32_t offset, uint16_t value) {
    const size_t sector = SectorOf(offset);
    op_ = Operation{};
    op_.kind = OpKind::Program;
    op_.data = value;
    busy_ = true;
    mode_ = Mode::Read;
    if (faults_.neverFinishes) {
        op_.end = kNever;
        op_.limit = Dq5At(Now(), info_.busy.programMax);
        return;
    }
    if (Locked(sector)) { // ignored: a short busy, then reading again
        op_.end = Now() + CyclesFor(kRefusedProgramMicros);
        return;
    }
    // A word the embedded algorithm cannot verify runs into the time limit. An SST part does
    // not verify: it programs for its fixed time and a stuck bit shows only on reading back.
    bool fails = sectors_[sector].bad;
    if (!fails) {
        fails = Stuck(offset) && (value & faults_.stuckBits) != faults_.stuckBits && !Sst();
        ProgramArray(offset, value);
    }
    if (fails) {
        op_.end = kNever;
        op_.limit = Dq5At(Now(), info_.busy.programMax);
    } else {
        op_.end = Now() + CyclesFor(info_.busy.programTyp);
    }
}

void FlashChip::AmdAddEraseSector(size_t sector) {
    if (std::find(op_.sectors.begin(), op_.sectors.end(), sector) == op_.sectors.end())
        op_.sectors.push_back(sector);
    op_.windowEnd = Now() + CyclesFor(kEraseWindowMicros); // the timer restarts
}

// The sector-erase window has closed: erase what was selected, or fail, or refuse.
void FlashChip::AmdStartErase() {
    windowOpen_ = false;
    const uint64_t start = op_.windowEnd;
    std::vector<size_t> selected;
    for (size_t sector : op_.sectors) {
        if (!Locked(sector)) selected.push_back(sector);
    }
    op_.sectors = selected;
    if (faults_.neverFinishes) {
        op_.end = kNever;
        op_.limit = Dq5At(start, info_.busy.eraseMax * std::max<size_t>(selected.size(), 1));
        return;
    }
    if (selected.empty()) {
        op_.end = start + CyclesFor(kRefusedEraseMicros);
        return;
    }
    const bool fails = std::any_of(selected.begin(), selected.end(),
                                   [this](size_t sector) { return sectors_[sector].bad; });
    if (fails) {
        op_.end = kNever;
        op_.limit = Dq5At(start, info_.busy.eraseMax * selected.size());
        return;
    }
    uint64_t micros = 0;
    for (size_t sector : selected) {
        EraseArray(sector);
        micros += EraseMicros(sector);
    }
    if (Sst()) micros = info_.busy.eraseTyp; // one sector or one block, the same time
    op_.end = start + CyclesFor(micros);
}

void FlashChip::AmdChipErase() {
    op_ = Operation{};
    op_.kind = OpKind::Erase;
    busy_ = true;
    mode_ = Mode::Read;
    const uint64_t now = Now();
    for (size_t sector = 0; sector < sectors_.size(); ++sector) {
        if (!Locked(sector)) op_.sectors.push_back(sector);
    }
    if (faults_.neverFinishes) {
        op_.end = kNever;
        op_.limit = Dq5At(now, info_.busy.chipEraseMax);
        return;
    }
    if (op_.sectors.empty()) {
        op_.end = now + CyclesFor(kRefusedEraseMicros);
        return;
    }
    const bool fails = std::any_of(op_.sectors.begin(), op_.sectors.end(),
                                   [this](size_t sector) { return sectors_[sector].bad; });
    if (fails) {
        op_.end = kNever;
        op_.limit = Dq5At(now, info_.busy.chipEraseMax);
        return;
    }
    for (size_t sector : op_.sectors)
        EraseArray(sector);
    op_.end = now + CyclesFor(info_.busy.chipEraseTyp);
}

void FlashChip::AmdWrite(uint32_t offset, uint16_t value) {
    // In word mode the upper data byte of a command cycle is "don't care".
    const uint8_t data = static_cast<uint8_t>(value);
    const uint32_t addr = (Wrap(offset) >> 1) & (Sst() ? kSstCommandAddrMask : kCommandAddrMask);

    if (busy_) {
        if (windowOpen_) {
            // During the sector-erase window only another sector erase is taken; any other
            // command cancels the erase and the chip reads the array again.
            if (data == kSectorErase) {
                AmdAddEraseSector(SectorOf(offset));
            } else if (data != kEraseSuspend) {
                busy_ = false;
                windowOpen_ = false;
                mode_ = Mode::Read;
            }
        } else if (Now() >= op_.limit && data == kReset) {
            busy_ = false; // the reset after a time-out returns the chip to reading
            mode_ = Mode::Read;
        }
        return; // the embedded algorithm ignores writes while it runs
    }

    const Mode was = mode_;
    if (was == Mode::ProgramSetup) {
        AmdProgram(offset, value);
        return;
    }
    if (was == Mode::Autoselect || was == Mode::Cfi) {
        if (data == kReset)
            mode_ = was == Mode::Cfi ? cfiReturn_ : Mode::Read;
        else if (data == kCfiQuery && addr == kCfiAddr && was == Mode::Autoselect && !Sst()) {
            cfiReturn_ = Mode::Autoselect;
            mode_ = Mode::Cfi;
        }
        return; // only the reset command leaves autoselect and CFI
    }

    mode_ = Mode::Read; // any unexpected cycle falls back to reading the array
    if (data == kReset) return;
    AmdCommand(was, addr, data, offset);
}

// One cycle of a command sequence, from the state `was`, at word address `addr` (decoded).
void FlashChip::AmdCommand(Mode was, uint32_t addr, uint8_t data, uint32_t offset) {
    const uint32_t unlock1 = Sst() ? kSstUnlockAddr1 : kUnlockAddr1;
    const uint32_t unlock2 = Sst() ? kSstUnlockAddr2 : kUnlockAddr2;
    switch (was) {
    case Mode::Read:
        if (data == kUnlockData1 && addr == unlock1) {
            mode_ = Mode::Unlocked1;
        } else if (data == kCfiQuery && addr == kCfiAddr && !Sst()) {
            cfiReturn_ = Mode::Read;
            mode_ = Mode::Cfi;
        }
        break;
    case Mode::Unlocked1:
        if (data == kUnlockData2 && addr == unlock2) mode_ = Mode::Unlocked2;
        break;
    case Mode::Unlocked2:
        if (addr != unlock1) break;
        if (data == kAutoselect) {
            mode_ = Mode::Autoselect;
        } else if (data == kCfiQuery && Sst()) {
            cfiReturn_ = Mode::Read;
            mode_ = Mode::Cfi;
        } else if (data == kProgram) {
            mode_ = Mode::ProgramSetup;
        } else if (data == kEraseSetup) {
            mode_ = Mode::EraseSetup;
        }
        break;
    case Mode::EraseSetup:
        if (data == kUnlockData1 && addr == unlock1) mode_ = Mode::EraseUnlocked1;
        break;
    case Mode::EraseUnlocked1:
        if (data == kUnlockData2 && addr == unlock2) mode_ = Mode::EraseUnlocked2;
        break;
    case Mode::EraseUnlocked2:
        if (data == kChipErase && addr == unlock1) {
            AmdChipErase();
        } else if (data == kSectorErase || (data == kSstBlockErase && Sst())) {
            op_ = Operation{};
            op_.kind = OpKind::Erase;
            busy_ = true;
            windowOpen_ = true;
            AmdAddEraseSector(SectorOf(offset));
            if (Sst()) {
                // No window: the sector, or every sector of the 64 KiB block, from now.
                if (data == kSstBlockErase) {
                    const uint32_t block = Wrap(offset) & ~(info_.blockSize - 1);
                    for (uint32_t at = block; at < block + info_.blockSize;
                         at += sectors_[SectorOf(at)].size)
                        AmdAddEraseSector(SectorOf(at));
                }
                op_.windowEnd = Now();
                AmdStartErase();
            }
        }
        break;
    default:
        break;
    }
}

} // namespace tapster::board
