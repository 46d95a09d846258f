#include "board/cpu_system.h"

#include "board/flash_chip_setup.h"

#include <utility>

namespace tapster::board {

CpuSystem::CpuSystem(TargetBus& bus, const BoardConfig& config, std::vector<RamRange> ram)
    : agent_(bus, config.agent), cpu_(bus, agent_, std::move(ram)), dcu_(cpu_),
      flashBase_(config.flash.base) {
    flash_ = BuildFlashChip(config);
    if (flash_) flashWindow_ = std::make_unique<FlashChipWindow>(*flash_);
}

std::vector<DeviceWindow> CpuSystem::Windows() {
    std::vector<DeviceWindow> windows{{kDcuBase, kDcuSize, &dcu_}};
    if (flash_) windows.push_back({flashBase_, flash_->Size(), flashWindow_.get()});
    return windows;
}

void CpuSystem::FlushFlash() {
    if (flashWindow_) flashWindow_->Flush();
}

void CpuSystem::BeforeRead(uint32_t address, uint32_t length) {
    FlushFlash();
    cpu_.Step();
    cpu_.HostReading(address, length);
}

void CpuSystem::AfterWrite(uint32_t address, uint32_t length) {
    FlushFlash();
    cpu_.NoteHostWrite(address, length);
    cpu_.Step();
    dcu_.HostWrote(address, length);
}

void CpuSystem::ResetLine(bool held) {
    cpu_.SetLineHeld(held);
}

} // namespace tapster::board
