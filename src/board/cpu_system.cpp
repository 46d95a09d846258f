#include "board/cpu_system.h"

#include "board/flash_chip_setup.h"

#include <utility>

namespace tapster::board {

CpuSystem::CpuSystem(MemoryMap& memory, const BoardConfig& config,
                     std::function<uint64_t()> tckClock)
    : tckClock_(std::move(tckClock)), cyclesPerTck_(config.core.cyclesPerTck),
      flash_(BuildFlashChip(config)), flashBase_(config.flash.base),
      bus_(memory, flash_.get(), flashBase_,
           flash_ ? VisibleDeviceSize(flashBase_, flash_->Size()) : 0,
           [this](uint32_t address, uint32_t length) { dcu_.HostWrote(address, length); }),
      cpu_(memory, bus_, config.cpuClockHz), dcu_(cpu_) {
    if (flash_) {
        flashWindow_ = std::make_unique<FlashChipWindow>(*flash_);
        flash_->SetCycleSource(&cpu_.Core().State().cycles); // busy times run on the CPU's cycles
    }
    if (!config.core.trace.empty()) {
        trace_ = std::make_unique<TraceFile>(config.core.trace, config.core.traceLimitBytes,
                                             &memory, config.core.traceReplaces);
        if (trace_->Open()) cpu_.SetTrace(trace_.get());
    }
    if (tckClock_) lastTck_ = tckClock_();
}

std::vector<DeviceWindow> CpuSystem::Windows() {
    std::vector<DeviceWindow> windows{{kDcuBase, kDcuSize, &dcu_}};
    if (flash_) windows.push_back({flashBase_, flash_->Size(), flashWindow_.get()});
    return windows;
}

void CpuSystem::FlushFlash() {
    if (flashWindow_) flashWindow_->Flush();
}

void CpuSystem::Sync() {
    if (!tckClock_) return;
    const uint64_t now = tckClock_();
    const uint64_t clocks = now - lastTck_;
    lastTck_ = now;
    cpu_.Advance(clocks * cyclesPerTck_);
    if (trace_ && trace_->Cut()) {
        cpu_.SetTrace(nullptr);
        trace_.reset();
    } else if (trace_) {
        trace_->Flush();
    }
}

void CpuSystem::BeforeRead(uint32_t, uint32_t) {
    FlushFlash();
    Sync();
}

void CpuSystem::BeforeWrite(uint32_t, uint32_t) {
    Sync();
}

void CpuSystem::AfterWrite(uint32_t address, uint32_t length) {
    FlushFlash();
    dcu_.HostWrote(address, length);
}

void CpuSystem::ResetLine(bool held) {
    Sync();
    cpu_.SetLineHeld(held);
}

} // namespace tapster::board
