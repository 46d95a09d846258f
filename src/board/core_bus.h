// The target's address space as the ST20 core reaches it: the board's memories through direct
// windows (the core reads and writes SRAM, SDRAM and video RAM in place and fetches from the
// internal ROM), the flash chip in 16-bit bus cycles, and the DCU register window, whose
// registers act on every complete word the CPU stores there, as on the host's writes.
#pragma once

#include "board/memory_map.h"
#include "st20/core.h"

#include <cstdint>
#include <functional>

namespace tapster::board {

class FlashChip;

class CoreBusAdapter final : public st20::CoreBus {
  public:
    // `flashSize`: the part of the chip's window left visible. `dcuWrote` is told about each
    // CPU store into the DCU window (address, length).
    CoreBusAdapter(MemoryMap& memory, FlashChip* flash, uint32_t flashBase, uint32_t flashSize,
                   std::function<void(uint32_t, uint32_t)> dcuWrote);

    uint32_t Load(uint32_t address, uint32_t size, st20::Access access) override;
    void Store(uint32_t address, uint32_t size, uint32_t value, st20::Access access) override;
    st20::DirectWindow Window(uint32_t address) override;

    // True when the address lies in plain RAM the core reaches directly (no device over it).
    bool PlainRam(uint32_t address) const;

  private:
    bool InFlash(uint32_t address) const { return flash_ && address - flashBase_ < flashSize_; }
    uint32_t FlashLoad(uint32_t offset, uint32_t size);
    void FlashStore(uint32_t offset, uint32_t size, uint32_t value);

    MemoryMap& memory_;
    FlashChip* flash_;
    uint32_t flashBase_;
    uint32_t flashSize_;
    std::function<void(uint32_t, uint32_t)> dcuWrote_;
};

} // namespace tapster::board
