// The flash chip as the target's byte-addressed bus sees it. The chip has a 16-bit data bus:
// the low byte of a word followed at once by its high byte makes one 16-bit cycle (as a 32-bit
// write splits into two). A byte written alone makes a cycle whose other byte lane is 0xFF,
// which leaves that byte unchanged when programming and is ignored in command cycles. Reads
// pair up the same way: the high byte read straight after the low byte of the same word comes
// from that one read cycle (at the same CPU cycle count), so a polled status word is read once,
// not twice.
#pragma once

#include "board/flash_chip.h"
#include "board/target_bus.h"

#include <optional>

namespace tapster::board {

class FlashChipWindow : public MappedDevice {
  public:
    explicit FlashChipWindow(FlashChip& chip) : chip_(chip) {}

    uint8_t Read8(uint32_t offset) override;
    void Write8(uint32_t offset, uint8_t value) override;

    // Completes a low byte still waiting for its high byte and ends a pending read cycle (end of
    // a link transaction).
    void Flush();

  private:
    struct Pending {
        uint32_t offset = 0;
        uint8_t value = 0;
    };

    struct LastRead {
        uint32_t offset = 0; // the even offset read
        uint16_t word = 0;
        uint64_t at = 0; // the chip's cycle count then
    };

    FlashChip& chip_;
    std::optional<Pending> pending_;
    std::optional<LastRead> lastRead_;
};

} // namespace tapster::board
