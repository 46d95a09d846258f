// The debug control unit's register window (kDcuBase, kDcuSize). Status, jump trace and
// watchpoint address are read live from the CPU; the other registers hold what was written.
// Registers act only on complete word writes, once the link transaction has landed.
#pragma once

#include "board/cpu.h"
#include "board/dcu_map.h"
#include "board/target_bus.h"

#include <array>
#include <cstdint>

namespace tapster::board {

class Dcu : public MappedDevice {
  public:
    explicit Dcu(Cpu& cpu) : cpu_(cpu) {}

    uint8_t Read8(uint32_t offset) override;
    void Write8(uint32_t offset, uint8_t value) override;

    // A host write of [address, address + length) has landed: every register word it covered
    // completely takes effect.
    void HostWrote(uint32_t address, uint32_t length);

  private:
    uint32_t Stored(uint32_t offset) const;

    Cpu& cpu_;
    std::array<uint8_t, kDcuSize> regs_{};
};

} // namespace tapster::board
