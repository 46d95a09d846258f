// The board's active parts wired together: the DCU with the CPU, the flash agent and the flash
// chip. It sees every link transaction and sequences the parts' reactions to it; the board maps
// its device windows and owns it for the board's lifetime.
#pragma once

#include "board/agent.h"
#include "board/board_config.h"
#include "board/cpu.h"
#include "board/dcu.h"
#include "board/flash_chip.h"
#include "board/flash_chip_window.h"
#include "board/target_bus.h"

#include <memory>
#include <vector>

namespace tapster::board {

struct DeviceWindow {
    uint32_t base = 0;
    uint32_t size = 0;
    MappedDevice* device = nullptr;
};

class CpuSystem : public LinkObserver {
  public:
    // `ram`: the areas where the host can load a trap routine. An unknown flash chip name
    // leaves the board without flash.
    CpuSystem(TargetBus& bus, const BoardConfig& config, std::vector<RamRange> ram);

    // The windows the board maps: the DCU registers and, if present, the flash chip.
    std::vector<DeviceWindow> Windows();

    // Per transaction: the CPU takes one step; a read covering the mailbox is an agent poll; a
    // write to the DCU acts after the step, so a condition it arms fires on a later one.
    void BeforeRead(uint32_t address, uint32_t length) override;
    void AfterWrite(uint32_t address, uint32_t length) override;
    void ResetLine(bool held) override;

    Cpu& GetCpu() { return cpu_; }
    Dcu& GetDcu() { return dcu_; }
    Agent& GetAgent() { return agent_; }
    FlashChip* Flash() { return flash_.get(); }
    uint32_t FlashBase() const { return flashBase_; }

  private:
    void FlushFlash();

    Agent agent_;
    Cpu cpu_;
    Dcu dcu_;
    std::unique_ptr<FlashChip> flash_;
    std::unique_ptr<FlashChipWindow> flashWindow_;
    uint32_t flashBase_ = 0;
};

} // namespace tapster::board
