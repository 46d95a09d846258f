// The board's active parts wired together: the DCU with the CPU (an ST20 core on the board's
// bus) and the flash chip, whose busy times run on the CPU's cycles. It sees every link
// transaction and moves the CPU on by the TCK clocks since the last one before the transaction
// is served; the board maps its device windows and owns it for the board's lifetime.
#pragma once

#include "board/board_config.h"
#include "board/core_bus.h"
#include "board/cpu.h"
#include "board/dcu.h"
#include "board/flash_chip.h"
#include "board/flash_chip_window.h"
#include "board/target_bus.h"
#include "board/trace_file.h"

#include <functional>
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
    // `tckClock` counts the cable's TCK clocks. An unknown flash chip name leaves the board
    // without flash.
    CpuSystem(MemoryMap& memory, const BoardConfig& config, std::function<uint64_t()> tckClock);

    // The windows the board maps: the DCU registers and, if present, the flash chip.
    std::vector<DeviceWindow> Windows();

    // Per transaction: the CPU first catches up with the clocks; a write to the DCU acts once
    // it has landed.
    void BeforeRead(uint32_t address, uint32_t length) override;
    void BeforeWrite(uint32_t address, uint32_t length) override;
    void AfterWrite(uint32_t address, uint32_t length) override;
    void ResetLine(bool held) override;

    // Moves the CPU on to the present TCK count.
    void Sync();

    Cpu& GetCpu() { return cpu_; }
    Dcu& GetDcu() { return dcu_; }
    FlashChip* Flash() { return flash_.get(); }
    uint32_t FlashBase() const { return flashBase_; }

  private:
    void FlushFlash();

    std::function<uint64_t()> tckClock_;
    uint64_t lastTck_ = 0;
    uint32_t cyclesPerTck_;
    std::unique_ptr<FlashChip> flash_;
    std::unique_ptr<FlashChipWindow> flashWindow_;
    uint32_t flashBase_ = 0;
    CoreBusAdapter bus_;
    Cpu cpu_;
    Dcu dcu_;
    std::unique_ptr<TraceFile> trace_;
};

} // namespace tapster::board
