// A 16-bit NOR flash chip with the JEDEC/AMD command set: unlock cycles, autoselect (codes and
// sector protection), word program that can only clear bits, sector and chip erase to 0xFF.
// Operations complete at once; the array is read whenever the chip is in read mode.
#pragma once

#include "board/flash_chip_table.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tapster::board {

class FlashChip {
  public:
    explicit FlashChip(const FlashChipInfo& info);

    const FlashChipInfo& Info() const { return info_; }
    uint32_t Size() const { return static_cast<uint32_t>(array_.size()); }

    // One 16-bit bus cycle at a byte offset in the chip (bit 0 ignored, offsets wrap at the
    // chip size as the unused address lines do).
    uint16_t Read16(uint32_t offset) const;
    void Write16(uint32_t offset, uint16_t value);

    // True when reads return the array (no command sequence or autoselect in progress).
    bool InReadMode() const { return state_ == State::Read; }

    // Sector geometry, in table order from offset 0.
    size_t SectorCount() const { return sectors_.size(); }
    uint32_t SectorStart(size_t index) const { return sectors_[index].start; }
    uint32_t SectorSize(size_t index) const { return sectors_[index].size; }
    size_t SectorOf(uint32_t offset) const;

    // Protection is set at the factory (the board preset), never by a command.
    void SetProtected(uint32_t offset, bool on);
    bool IsProtected(uint32_t offset) const;

    // Factory contents: bytes put straight into the array, bypassing the command set.
    void Load(uint32_t offset, const std::vector<uint8_t>& bytes);

  private:
    enum class State {
        Read,
        Unlocked1,
        Unlocked2,
        Autoselect,
        ProgramSetup,
        EraseSetup,
        EraseUnlocked1,
        EraseUnlocked2,
    };
    struct Sector {
        uint32_t start = 0;
        uint32_t size = 0;
        bool protectedFlag = false;
    };

    uint32_t Wrap(uint32_t offset) const { return offset % Size(); }
    uint16_t ArrayWord(uint32_t offset) const;
    void Program(uint32_t offset, uint16_t value);
    void EraseSector(size_t index);

    const FlashChipInfo& info_;
    std::vector<uint8_t> array_;
    std::vector<Sector> sectors_;
    State state_ = State::Read;
};

} // namespace tapster::board
