// Error conditions, trap entry at an instruction boundary and the return with tret.
#include "st20/core.h"

#include "st20/core_impl.h"

#include <bit>

namespace tapster::st20 {

bool Core::Impl::TrapAvailable(Core& c, uint32_t causeBit) {
    const CoreState& s = c.state_;
    if (causeBit > 13 || !(s.enables[s.priority] & (1u << causeBit))) return false;
    const uint32_t handler = TrapHandlerAddress(s.priority, GroupOfCause(causeBit));
    return SystemLoad(c, handler + 8) != choice::kNullHandlerWptr;
}

void Core::Impl::Raise(Core& c, uint32_t causeBit) {
    c.pendingTraps_ |= 1u << causeBit;
    c.attention_ |= kAttnTrap;
}

void Core::Impl::Halt(Core& c) {
    c.stop_ = StopReason::HaltedOnError;
    c.attention_ |= kAttnStop;
}

void Core::Impl::RaiseError(Core& c, uint32_t causeBit) {
    if (TrapAvailable(c, causeBit)) {
        Raise(c, causeBit);
        return;
    }
    c.state_.errorFlag = true;
    if (c.state_.haltOnError) Halt(c);
}

void Core::Impl::Illegal(Core& c, uint32_t start) {
    c.state_.cycles += choice::kIllegalCycles;
    if (TrapAvailable(c, trap_cause::kIllegalOpcode)) {
        Raise(c, trap_cause::kIllegalOpcode);
        return;
    }
    c.state_.iptr = start;
    c.stop_ = StopReason::IllegalOpcode;
    c.attention_ |= kAttnStop;
}

void Core::Impl::EnablesChanged(Core& c) {
    if (c.pendingTraps_ != 0) c.attention_ |= kAttnTrap;
}

bool Core::Impl::Enter(Core& c, TrapGroup group, uint32_t statusBits) {
    CoreState& s = c.state_;
    const uint32_t pri = s.priority;
    const uint32_t handler = TrapHandlerAddress(pri, group);
    const uint32_t trapped = handler + 0x10;
    const uint32_t handlerWptr = SystemLoad(c, handler + 8);
    if (handlerWptr == choice::kNullHandlerWptr) return false;

    uint32_t status = s.status[pri] | kStatusValid | statusBits;
    if (c.waiting_) {
        // The wait resumes after tret, from the time tin left at pw.Time.
        status = (status & ~choice::kInterruptedMask) |
                 (choice::kInterruptedTin << choice::kInterruptedShift);
        c.waiting_ = false;
        c.attention_ &= ~kAttnWaiting;
    }
    SystemStore(c, trapped + 0x0, s.enables[pri]);
    SystemStore(c, trapped + 0x4, status);
    SystemStore(c, trapped + 0x8, s.wptr);
    SystemStore(c, trapped + 0xC, s.iptr);

    const uint32_t handlerStatus = SystemLoad(c, handler + 4);
    s.status[pri] = (handlerStatus & ~choice::kStatusGroupMask) |
                    (static_cast<uint32_t>(group) << choice::kStatusGroupShift);
    s.enables[pri] &= SystemLoad(c, handler + 0);
    s.wptr = handlerWptr;
    s.iptr = SystemLoad(c, handler + 0xC);
    s.oreg = 0;
    s.cycles += choice::kTrapEntryCycles;
    return true;
}

bool Core::Impl::TakeTraps(Core& c) {
    CoreState& s = c.state_;
    if (c.requestPending_) {
        // The debug unit's trap, in place of the instruction at Iptr. It also ends a halt or an
        // illegal-opcode stop: the debugger takes over the processor.
        c.requestPending_ = false;
        c.attention_ &= ~kAttnTrap;
        EnablesChanged(c);
        if (Enter(c, c.requestGroup_, 1u << c.requestCause_)) {
            c.stop_.reset();
            c.attention_ &= ~kAttnStop;
            return true;
        }
        return false;
    }
    const uint32_t due = c.pendingTraps_ & s.enables[s.priority] & kTrapEnableMask;
    if (due == 0) {
        c.attention_ &= ~kAttnTrap;
        return false;
    }
    const uint32_t cause = static_cast<uint32_t>(std::countr_zero(due));
    uint32_t bits = 1u << cause;
    if (c.pendingTraps_ & (1u << trap_cause::kCauseError)) bits |= 1u << trap_cause::kCauseError;
    c.pendingTraps_ &= ~(bits | (1u << trap_cause::kCauseError));
    if (c.pendingTraps_ == 0) c.attention_ &= ~kAttnTrap;
    if (!Enter(c, GroupOfCause(cause), bits)) {
        // The handler went away since the condition was raised: nothing is done with it.
        return false;
    }
    return true;
}

void Core::Impl::Tret(Core& c, uint32_t start) {
    CoreState& s = c.state_;
    const uint32_t pri = s.priority;
    const auto group = static_cast<TrapGroup>((s.status[pri] & choice::kStatusGroupMask) >>
                                              choice::kStatusGroupShift);
    const uint32_t trapped = TrappedProcessAddress(pri, group);
    s.enables[pri] = SystemLoad(c, trapped + 0x0);
    uint32_t status = SystemLoad(c, trapped + 0x4) & ~choice::kTretClearedStatus;
    s.wptr = SystemLoad(c, trapped + 0x8);
    s.iptr = SystemLoad(c, trapped + 0xC);
    if (((status & choice::kInterruptedMask) >> choice::kInterruptedShift) ==
        choice::kInterruptedTin) {
        status &= ~choice::kInterruptedMask;
        s.status[pri] = status;
        StartWait(c, SystemLoad(c, s.wptr - 20));
    } else {
        s.status[pri] = status;
    }
    EnablesChanged(c);
    NoteJump(c, start, s.iptr);
}

} // namespace tapster::st20
