// The two clocks (high priority every 1 us, low priority every 64 us) derived from the cycle
// count and the CPU frequency, the clock instructions, and tin's wait.
#include "st20/core.h"

#include "st20/core_impl.h"

namespace tapster::st20 {

namespace {

using Impl = Core::Impl;

// Ticks per second of each priority's clock.
constexpr uint64_t kTickRate[2] = {1'000'000, 15'625};

// Clock ticks from cycle 0 to `cycle`: floor(cycle * rate / hz) without overflow.
uint64_t Ticks(uint64_t cycle, uint64_t rate, uint64_t hz) {
    return cycle / hz * rate + cycle % hz * rate / hz;
}

// The first cycle at which `ticks` ticks have happened.
uint64_t CycleOfTick(uint64_t ticks, uint64_t rate, uint64_t hz) {
    return ticks / rate * hz + (ticks % rate * hz + rate - 1) / rate;
}

bool After(uint32_t clock, uint32_t time) {
    return static_cast<int32_t>(clock - time) > 0;
}

} // namespace

uint32_t Core::ClockReg(uint32_t priority) const {
    const uint32_t p = priority & 1;
    if (!(state_.clockEnables & (1u << p))) return clockBase_[p];
    const uint64_t elapsed = Ticks(state_.cycles, kTickRate[p], config_.cpuHz) -
                             Ticks(clockSync_[p], kTickRate[p], config_.cpuHz);
    return clockBase_[p] + static_cast<uint32_t>(elapsed);
}

void Core::SetClockReg(uint32_t priority, uint32_t value) {
    Impl::SyncClocks(*this);
    clockBase_[priority & 1] = value;
}

void Core::Impl::SyncClocks(Core& c) {
    for (uint32_t p = 0; p < 2; ++p) {
        c.clockBase_[p] = c.ClockReg(p);
        c.clockSync_[p] = c.state_.cycles;
    }
}

std::optional<uint64_t> Core::WakeCycle() const {
    if (!waiting_) return std::nullopt;
    const uint32_t p = state_.priority;
    const uint32_t now = ClockReg(p);
    if (After(now, wakeTime_)) return state_.cycles;
    if (!(state_.clockEnables & (1u << p))) return std::nullopt;
    // The clock must advance by this many ticks to be after the time.
    const uint64_t delta = static_cast<uint32_t>(wakeTime_ - now) + uint64_t{1};
    const uint64_t target = Ticks(state_.cycles, kTickRate[p], config_.cpuHz) + delta;
    return CycleOfTick(target, kTickRate[p], config_.cpuHz);
}

bool Core::SkipToWake() {
    const std::optional<uint64_t> wake = WakeCycle();
    if (!wake) return false;
    state_.cycles = *wake;
    waiting_ = false;
    attention_ &= ~kAttnWaiting;
    return true;
}

void Core::Impl::StartWait(Core& c, uint32_t time) {
    c.wakeTime_ = time;
    c.waiting_ = true;
    c.attention_ |= kAttnWaiting;
}

bool Core::Impl::Wait(Core& c, uint64_t cycleLimit) {
    // Time moves on only inside a cycle budget; without one the caller decides (SkipToWake).
    const std::optional<uint64_t> wake = c.WakeCycle();
    if (wake && (*wake <= c.state_.cycles || (cycleLimit != UINT64_MAX && *wake <= cycleLimit))) {
        c.SkipToWake();
        return true;
    }
    if (cycleLimit != UINT64_MAX) c.state_.cycles = std::max(c.state_.cycles, cycleLimit);
    return false;
}

void Core::Impl::Tin(Core& c) {
    CoreState& s = c.state_;
    const uint32_t time = s.areg;
    UndefineAbc(s);
    if (After(c.ClockReg(s.priority), time)) {
        s.cycles += choice::kTinCycles;
        return;
    }
    // Deschedules: the workspace gets the process's wait state and time, as on silicon.
    s.cycles += choice::kTinDescheduleCycles;
    SystemStore(c, s.wptr - 12, choice::kTinWaitingState);
    SystemStore(c, s.wptr - 20, time);
    StartWait(c, time);
}

void Core::Impl::Timer(Core& c, Op op) {
    CoreState& s = c.state_;
    switch (op) {
    case Op::ldtimer:
        Push(s, c.ClockReg(s.priority));
        return;
    case Op::tin:
        Tin(c);
        return;
    case Op::ldclock:
        s.areg = c.ClockReg(s.areg);
        return;
    case Op::stclock:
        c.SetClockReg(s.areg, s.breg);
        s.areg = s.creg;
        s.breg = s.creg = choice::kUndefined;
        return;
    case Op::clockenb:
    case Op::clockdis: {
        SyncClocks(c);
        const uint32_t old = s.clockEnables & 3;
        const uint32_t mask = s.areg & 3;
        s.clockEnables = op == Op::clockenb ? s.clockEnables | mask : s.clockEnables & ~mask;
        s.areg = old;
        return;
    }
    default:
        return;
    }
}

} // namespace tapster::st20
