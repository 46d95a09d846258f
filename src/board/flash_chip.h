// A 16-bit NOR flash chip as its data sheet describes it: the AMD/JEDEC command set (unlock
// cycles, autoselect, CFI, program, sector and chip erase, DQ7/DQ6/DQ5/DQ3/DQ2 status while
// busy), SST's variant of it (see FlashFamily::Sst) or the Intel one (read array/identifier/CFI/
// status, program, block erase, lock bits or block locking, status register). Programming only
// clears bits; erase sets a block to 0xFF.
//
// Time: operations take their data-sheet busy time counted in CPU cycles. The board hands the
// chip a pointer to its running cycle count (SetCycleSource); the chip reads it at each bus cycle
// and an operation is done once the count reaches its start plus its busy cycles. Without a
// cycle source time stands still and every busy time is zero, so an operation has finished by the
// next bus cycle (a time-out, likewise, has already happened).
#pragma once

#include "board/board_config.h"
#include "board/flash_chip_table.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace tapster::board {

// How data-sheet microseconds become CPU cycles.
struct FlashTiming {
    uint32_t cpuClockHz = kDefaultCpuClockHz;
    uint32_t busyPercent = 100; // 0: every operation finishes at once
};

class FlashChip {
  public:
    explicit FlashChip(const FlashChipInfo& info, FlashTiming timing = {}, FlashFaults faults = {});

    const FlashChipInfo& Info() const { return info_; }
    uint32_t Size() const { return static_cast<uint32_t>(array_.size()); }

    // The board's running CPU cycle count (nullptr: time stands still, no busy time). The
    // pointer must stay valid for the chip's lifetime or until replaced.
    void SetCycleSource(const uint64_t* cycles) { cycles_ = cycles; }
    // The cycle count the chip sees now (0 without a cycle source).
    uint64_t Now() const { return cycles_ != nullptr ? *cycles_ : 0; }
    // Busy cycles for a data-sheet time, with this chip's clock and scale.
    uint64_t CyclesFor(uint64_t micros) const;

    // One 16-bit bus cycle at a byte offset in the chip (bit 0 ignored, offsets wrap at the
    // chip size as the unused address lines do). A read is a bus cycle too: status bits toggle.
    uint16_t Read16(uint32_t offset);
    void Write16(uint32_t offset, uint16_t value);

    // The reset pin (RESET# / RP#): any operation stops, the chip reads the array.
    void Reset();

    // True when reads return the array (no command mode, no operation running).
    bool InReadMode();
    // True while an operation runs (as the RY/BY# pin shows it).
    bool Busy();

    // Sector geometry, in table order from offset 0.
    size_t SectorCount() const { return sectors_.size(); }
    uint32_t SectorStart(size_t index) const { return sectors_[index].start; }
    uint32_t SectorSize(size_t index) const { return sectors_[index].size; }
    size_t SectorOf(uint32_t offset) const;

    // AMD protection is set at the factory (the preset); Intel lock bits start as the preset
    // sets them (on the 28F160B3, any block listed stays locked like the WP# blocks; on a C3,
    // the block is locked down, as boot code does). An SST part has no protection.
    void SetProtected(uint32_t offset, bool on);
    bool IsProtected(uint32_t offset) const;
    // The WP# pin held low (true) or high.
    void SetWriteProtect(bool low) { wpLow_ = low; }

    // Factory contents: bytes put straight into the array, bypassing the command set.
    void Load(uint32_t offset, const std::vector<uint8_t>& bytes);
    // The array as stored, whatever mode the chip is in.
    uint16_t ArrayWord(uint32_t offset) const;

  private:
    static constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();

    enum class Mode {
        Read,
        // AMD
        Unlocked1,
        Unlocked2,
        Autoselect,
        Cfi,
        ProgramSetup,
        EraseSetup,
        EraseUnlocked1,
        EraseUnlocked2,
        // Intel
        Identifier,
        Status,
        IntelProgramSetup,
        IntelEraseSetup,
        IntelLockSetup,
        IntelBufferCount, // write to buffer: the word count comes next
        IntelBufferData,  // the words to buffer
        IntelBufferConfirm,
    };
    enum class OpKind { Program, Erase, Lock, Unlock };
    struct Sector {
        uint32_t start = 0;
        uint32_t size = 0;
        bool protectedFlag = false; // AMD protected, Intel lock bit or block locked
        bool lockedDown = false;    // C3
        bool bad = false;
    };
    // The operation in progress, if any.
    struct Operation {
        OpKind kind = OpKind::Program;
        uint64_t windowEnd = 0;      // AMD erase: further sectors may join until here (DQ3 = 0)
        uint64_t end = 0;            // done (kNever: does not finish)
        uint64_t limit = kNever;     // AMD: DQ5 rises here
        uint16_t data = 0;           // AMD program: the word being programmed (DQ7)
        uint8_t errors = 0;          // Intel: status bits set when it ends
        std::vector<size_t> sectors; // erase: the sectors selected
    };

    uint32_t Wrap(uint32_t offset) const { return offset % Size(); }
    bool Sst() const { return info_.family == FlashFamily::Sst; }
    void LockAll(); // C3 power-up and reset: every block locked, none locked down
    bool Locked(size_t sector) const;
    bool Stuck(uint32_t offset) const;
    void ProgramArray(uint32_t offset, uint16_t value);
    void EraseArray(size_t sector);
    uint64_t EraseMicros(size_t sector) const;
    void Advance();
    void Finish();

    // AMD command set (flash_chip_amd.cpp).
    uint16_t AmdRead(uint32_t offset);
    void AmdWrite(uint32_t offset, uint16_t value);
    uint16_t AmdStatus(uint32_t offset);
    void AmdProgram(uint32_t offset, uint16_t value);
    void AmdAddEraseSector(size_t sector);
    void AmdStartErase();
    void AmdChipErase();
    void AmdCommand(Mode was, uint32_t addr, uint8_t data, uint32_t offset);
    uint64_t Dq5At(uint64_t from, uint64_t micros) const;

    // Intel command set (flash_chip_intel.cpp).
    uint16_t IntelRead(uint32_t offset);
    void IntelWrite(uint32_t offset, uint16_t value);
    void IntelCommand(uint8_t code);
    void IntelProgram(uint32_t offset, uint16_t value);
    void IntelErase(uint32_t offset);
    void IntelLock(uint32_t offset, uint8_t code);
    void IntelBlockLock(uint32_t offset, uint8_t code);
    void IntelStart(OpKind kind, uint64_t micros, uint8_t errors);
    void IntelBufferWrite(uint32_t offset, uint16_t value);
    void IntelBufferProgram();

    // CFI answers by word address (flash_chip_cfi.cpp).
    static std::vector<uint16_t> BuildCfi(const FlashChipInfo& info);
    uint16_t CfiWord(uint32_t offset) const;
    uint16_t IdentifierWord(uint32_t offset) const;

    const FlashChipInfo& info_;
    FlashTiming timing_;
    FlashFaults faults_;
    std::vector<uint8_t> array_;
    std::vector<Sector> sectors_;
    std::vector<uint16_t> cfi_;
    const uint64_t* cycles_ = nullptr;
    Mode mode_ = Mode::Read;
    Mode cfiReturn_ = Mode::Read; // AMD: where 0xF0 leads from CFI
    bool wpLow_ = true;
    bool busy_ = false;
    bool windowOpen_ = false; // AMD: sector-erase window still taking sectors
    Operation op_;
    bool toggle6_ = false;  // AMD DQ6
    bool toggle2_ = false;  // AMD DQ2
    uint8_t status_ = 0x80; // Intel status register
    // Intel write to buffer: the block it was opened on, the words still to come, the words.
    struct BufferedWord {
        uint32_t offset = 0;
        uint16_t value = 0;
    };
    uint32_t bufferBlock_ = 0;
    uint32_t bufferLeft_ = 0;
    std::vector<BufferedWord> buffer_;
};

} // namespace tapster::board
