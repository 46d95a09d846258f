#include "st20/core.h"

namespace tapster::st20 {

TrapGroup GroupOfCause(uint32_t causeBit) {
    if (causeBit == trap_cause::kBreakpoint) return TrapGroup::Breakpoint;
    if (causeBit <= trap_cause::kIntegerOverflow) return TrapGroup::Error;
    if (causeBit <= trap_cause::kStoreTrap) return TrapGroup::System;
    return TrapGroup::Scheduler;
}

Core::Core(CoreBus& bus, CoreConfig config) : bus_(bus), config_(config) {}
Core::~Core() = default;

void Core::Reset(const BootState& boot) {
    boot_ = boot;
    state_ = {};
    state_.iptr = boot.iptr;
    state_.wptr = boot.wptr;
    state_.priority = boot.priority;
}

RunResult Core::Run(Budget budget) {
    (void)budget;
    return {};
}

RunResult Core::Step() {
    return Run({1, UINT64_MAX});
}

uint32_t Core::ClockReg(uint32_t priority) const {
    return clockBase_[priority & 1];
}

void Core::SetClockReg(uint32_t priority, uint32_t value) {
    clockBase_[priority & 1] = value;
}

std::optional<uint64_t> Core::WakeCycle() const {
    return std::nullopt;
}

bool Core::SkipToWake() {
    return false;
}

void Core::RequestTrap(TrapGroup group, uint32_t causeBit) {
    requestPending_ = true;
    requestGroup_ = group;
    requestCause_ = causeBit;
}

void Core::SetObserver(CoreObserver* observer, uint32_t mask) {
    observer_ = observer;
    observeMask_ = observer ? mask : 0;
}

void Core::SetTrace(CoreTrace* trace) {
    trace_ = trace;
}

void Core::InvalidateWindows() {
    fetchWindow_ = {};
    dataWindow_ = {};
}

} // namespace tapster::st20
