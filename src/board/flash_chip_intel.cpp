// The Intel/Sharp command set: one-cycle commands to any address (read array, read identifier,
// CFI query, read and clear status), two-cycle program, block erase and lock-bit commands, and
// the status register a busy or finished operation answers with.
#include "board/flash_chip.h"

namespace tapster::board {

namespace {
constexpr uint8_t kReadArray = 0xFF;
constexpr uint8_t kReadIdentifier = 0x90;
constexpr uint8_t kCfiQuery = 0x98;
constexpr uint8_t kReadStatus = 0x70;
constexpr uint8_t kClearStatus = 0x50;
constexpr uint8_t kProgram = 0x40;
constexpr uint8_t kProgramAlternate = 0x10;
constexpr uint8_t kEraseSetup = 0x20;
constexpr uint8_t kConfirm = 0xD0; // erase confirm, resume, clear lock bits
constexpr uint8_t kLockSetup = 0x60;
constexpr uint8_t kSetLockBit = 0x01; // J3: set the block's bit; C3: lock the block
constexpr uint8_t kLockDown = 0x2F;   // C3
constexpr uint8_t kSuspend = 0xB0;
constexpr uint8_t kWriteToBuffer = 0xE8;

constexpr uint8_t kSrReady = 0x80;
constexpr uint8_t kSrEraseError = 0x20;
constexpr uint8_t kSrProgramError = 0x10;
constexpr uint8_t kSrLocked = 0x02;
constexpr uint8_t kSrSequenceError = kSrEraseError | kSrProgramError;

// A refused program or erase on a locked block reports after this long (chosen).
constexpr uint64_t kRefusedMicros = 1;
} // namespace

uint16_t FlashChip::IntelRead(uint32_t offset) {
    if (busy_) return status_;
    switch (mode_) {
    case Mode::Read:
        return ArrayWord(offset);
    case Mode::Identifier:
        return IdentifierWord(offset);
    case Mode::Cfi:
        return CfiWord(offset);
    default:
        return status_; // read status, and every setup state
    }
}

void FlashChip::IntelStart(OpKind kind, uint64_t micros, uint8_t errors) {
    op_ = Operation{};
    op_.kind = kind;
    op_.errors = errors;
    op_.end = faults_.neverFinishes ? kNever : Now() + CyclesFor(micros);
    status_ = static_cast<uint8_t>(status_ & ~kSrReady);
    busy_ = true;
    mode_ = Mode::Status;
}

void FlashChip::IntelProgram(uint32_t offset, uint16_t value) {
    const size_t sector = SectorOf(offset);
    const uint64_t micros = info_.busy.programTyp;
    if (Locked(sector)) {
        IntelStart(OpKind::Program, kRefusedMicros, kSrLocked | kSrProgramError);
    } else if (faults_.neverFinishes || sectors_[sector].bad) {
        IntelStart(OpKind::Program, micros, kSrProgramError);
    } else {
        // The verify only catches zeros that did not program.
        const bool stuck = Stuck(offset) && (value & faults_.stuckBits) != faults_.stuckBits;
        ProgramArray(offset, value);
        IntelStart(OpKind::Program, micros, stuck ? kSrProgramError : 0);
    }
}

void FlashChip::IntelErase(uint32_t offset) {
    const size_t sector = SectorOf(offset);
    const uint64_t micros = EraseMicros(sector);
    if (Locked(sector)) {
        IntelStart(OpKind::Erase, kRefusedMicros, kSrLocked | kSrEraseError);
    } else if (faults_.neverFinishes || sectors_[sector].bad) {
        IntelStart(OpKind::Erase, micros, kSrEraseError);
    } else {
        EraseArray(sector);
        IntelStart(OpKind::Erase, micros, 0);
    }
}

// C3 block locking (Intel 290645, "Block Locking"): the commands act at once, without the
// write state machine; an unlock leaves a locked-down block locked while WP# is low, and only a
// reset or power-up clears a lock-down.
void FlashChip::IntelBlockLock(uint32_t offset, uint8_t code) {
    Sector& sector = sectors_[SectorOf(offset)];
    if (code == kSetLockBit) sector.protectedFlag = true;
    if (code == kConfirm) sector.protectedFlag = false;
    if (code == kLockDown) {
        sector.protectedFlag = true;
        sector.lockedDown = true;
    }
    mode_ = Mode::Status;
}

void FlashChip::IntelLock(uint32_t offset, uint8_t code) {
    if (info_.locking == FlashLocking::BlockLock) return IntelBlockLock(offset, code);
    if (code == kSetLockBit) {
        if (!faults_.neverFinishes) sectors_[SectorOf(offset)].protectedFlag = true;
        IntelStart(OpKind::Lock, info_.busy.lockTyp, 0);
        return;
    }
    // Clear lock bits: every bit at once, or, on a chip with a bad block, none: the clear fails
    // with SR5 (Intel 290667, "Clear Block Lock-Bits").
    bool fails = false;
    for (const Sector& sector : sectors_)
        fails = fails || sector.bad;
    if (!faults_.neverFinishes && !fails) {
        for (Sector& sector : sectors_)
            sector.protectedFlag = false;
    }
    IntelStart(OpKind::Unlock, info_.busy.unlockTyp, fails ? kSrEraseError : 0);
}

// Write to buffer: 0xE8 at the block, the word count minus one, that many words inside the
// block, then 0xD0. A count beyond the buffer, a word outside the block or a missing confirm is a
// command sequence error and programs nothing.
void FlashChip::IntelBufferWrite(uint32_t offset, uint16_t value) {
    const uint32_t words = (1u << info_.cfi.bufferLog2) / 2;
    auto fail = [this] {
        buffer_.clear();
        status_ |= kSrSequenceError;
        mode_ = Mode::Status;
    };
    switch (mode_) {
    case Mode::IntelBufferCount:
        if (value >= words) return fail();
        bufferBlock_ = static_cast<uint32_t>(SectorOf(offset));
        bufferLeft_ = value + 1u;
        buffer_.clear();
        mode_ = Mode::IntelBufferData;
        return;
    case Mode::IntelBufferData:
        if (SectorOf(offset) != bufferBlock_) return fail();
        buffer_.push_back({offset, value});
        if (--bufferLeft_ == 0) mode_ = Mode::IntelBufferConfirm;
        return;
    default: // IntelBufferConfirm
        if (static_cast<uint8_t>(value) != kConfirm || SectorOf(offset) != bufferBlock_)
            return fail();
        IntelBufferProgram();
        return;
    }
}

void FlashChip::IntelBufferProgram() {
    const uint64_t micros = info_.busy.bufferProgramTyp;
    std::vector<BufferedWord> words;
    words.swap(buffer_);
    if (Locked(bufferBlock_)) {
        IntelStart(OpKind::Program, kRefusedMicros, kSrLocked | kSrProgramError);
    } else if (faults_.neverFinishes || sectors_[bufferBlock_].bad) {
        IntelStart(OpKind::Program, micros, kSrProgramError);
    } else {
        bool stuck = false;
        for (const BufferedWord& word : words) {
            stuck = stuck ||
                    (Stuck(word.offset) && (word.value & faults_.stuckBits) != faults_.stuckBits);
            ProgramArray(word.offset, word.value);
        }
        IntelStart(OpKind::Program, micros, stuck ? kSrProgramError : 0);
    }
}

void FlashChip::IntelCommand(uint8_t code) {
    switch (code) {
    case kReadArray:
        mode_ = Mode::Read;
        break;
    case kReadIdentifier:
        mode_ = Mode::Identifier;
        break;
    case kCfiQuery:
        mode_ = Mode::Cfi;
        break;
    case kReadStatus:
        mode_ = Mode::Status;
        break;
    case kClearStatus:
        status_ = kSrReady;
        break;
    case kProgram:
    case kProgramAlternate:
        mode_ = Mode::IntelProgramSetup;
        break;
    case kEraseSetup:
        mode_ = Mode::IntelEraseSetup;
        break;
    case kWriteToBuffer:
        if (info_.cfi.bufferLog2 != 0) {
            mode_ = Mode::IntelBufferCount; // the buffer is free at once: reads show XSR7 = 1
            break;
        }
        [[fallthrough]];
    case kLockSetup:
        if (code == kLockSetup &&
            (info_.locking == FlashLocking::LockBits || info_.locking == FlashLocking::BlockLock)) {
            mode_ = Mode::IntelLockSetup;
            break;
        }
        [[fallthrough]]; // a part without these commands
    default:
        if (code == kSuspend || code == kConfirm) break; // nothing to suspend or resume
        status_ |= kSrSequenceError;
        mode_ = Mode::Status;
        break;
    }
}

void FlashChip::IntelWrite(uint32_t offset, uint16_t value) {
    if (busy_) return; // the write state machine takes no command while it runs
    const uint8_t data = static_cast<uint8_t>(value);
    switch (mode_) {
    case Mode::IntelProgramSetup:
        IntelProgram(offset, value);
        return;
    case Mode::IntelEraseSetup:
        if (data == kConfirm) {
            IntelErase(offset);
        } else {
            status_ |= kSrSequenceError;
            mode_ = Mode::Status;
        }
        return;
    case Mode::IntelLockSetup:
        if (data == kSetLockBit || data == kConfirm ||
            (data == kLockDown && info_.locking == FlashLocking::BlockLock)) {
            IntelLock(offset, data);
        } else {
            status_ |= kSrSequenceError;
            mode_ = Mode::Status;
        }
        return;
    case Mode::IntelBufferCount:
    case Mode::IntelBufferData:
    case Mode::IntelBufferConfirm:
        IntelBufferWrite(offset, value);
        return;
    default:
        IntelCommand(data);
        return;
    }
}

} // namespace tapster::board
