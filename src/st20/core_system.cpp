// Secondary instructions on the processor's own state: error and halt flags, priority and
// product registers, Enables and Status, the trap structures and the scheduler group.
#include "st20/core.h"

#include "st20/core_impl.h"

#include <bit>

namespace tapster::st20 {

namespace {

using Impl = Core::Impl;

constexpr uint32_t kTimesliceEnable = 1u << 20; // Status

// ldtraph / sttraph / ldtrapped / sttrapped: four words between memory at B and a structure.
void CopyStructure(Core& c, uint32_t structure, bool load) {
    CoreState& s = c.State();
    const uint32_t block = s.breg;
    for (uint32_t i = 0; i < 16; i += 4) {
        if (load)
            Impl::SystemStore(c, structure + i, Impl::Load(c, block + i, 4));
        else
            Impl::Store(c, block + i, 4, Impl::SystemLoad(c, structure + i));
    }
}

void TrapStructureOp(Core& c, Op op) {
    CoreState& s = c.State();
    const auto group = static_cast<TrapGroup>(s.areg & 3);
    const bool load = op == Op::ldtraph || op == Op::ldtrapped;
    const uint32_t guard = load ? trap_cause::kLoadTrap : trap_cause::kStoreTrap;
    if (Impl::TrapAvailable(c, guard)) {
        Impl::Raise(c, guard); // the kernel's handler does it instead
    } else if (op == Op::ldtraph || op == Op::sttraph) {
        CopyStructure(c, TrapHandlerAddress(s.creg & 1, group), load);
    } else {
        CopyStructure(c, TrappedProcessAddress(s.priority, group), load);
    }
    Impl::UndefineAbc(s);
}

// trapenb / trapdis: A = mask, B = priority; A <- the previous TrapEnables.
void TrapEnables(Core& c, bool enable) {
    CoreState& s = c.State();
    uint32_t& enables = s.enables[s.breg & 1];
    const uint32_t old = enables & kTrapEnableMask;
    const uint32_t mask = s.areg & kTrapEnableMask;
    enables = enable ? enables | mask : enables & ~mask;
    s.areg = old;
    s.breg = s.creg = choice::kUndefined;
    Impl::EnablesChanged(c);
}

// gintenb / gintdis: A bits 7..0 are Enables bits 23..16; A <- the previous ones.
void GlobalEnables(Core& c, bool enable) {
    CoreState& s = c.State();
    uint32_t& enables = s.enables[s.priority];
    const uint32_t old = (enables & kGieMask) >> kGieShift;
    const uint32_t mask = (s.areg & 0xFF) << kGieShift;
    enables = enable ? enables | mask : enables & ~mask;
    s.areg = old;
}

} // namespace

void Core::Impl::System(Core& c, Op op, uint32_t start) {
    CoreState& s = c.state_;
    switch (op) {
    case Op::seterr:
        s.errorFlag = true;
        if (s.haltOnError) Halt(c);
        return;
    case Op::testerr:
        Push(s, s.errorFlag ? 0 : 1);
        s.errorFlag = false;
        return;
    case Op::clrhalterr:
        s.haltOnError = false;
        return;
    case Op::sethalterr:
        s.haltOnError = true;
        return;
    case Op::testhalterr:
        Push(s, s.haltOnError ? 1 : 0);
        return;
    case Op::ldpri:
        Push(s, s.priority);
        return;
    case Op::ldmemstartval:
        Push(s, kMemStart);
        return;
    case Op::ldprodid:
    case Op::lddevid:
        Push(s, c.config_.productId);
        return;
    case Op::settimeslice: {
        uint32_t& status = s.status[s.priority];
        const uint32_t old = (status & kTimesliceEnable) ? 1 : 0;
        status = s.areg != 0 ? status | kTimesliceEnable : status & ~kTimesliceEnable;
        s.areg = old;
        return;
    }
    case Op::intdis:
        s.interruptsDisabled = true;
        return;
    case Op::intenb:
        s.interruptsDisabled = false;
        return;
    case Op::gintdis:
        GlobalEnables(c, false);
        return;
    case Op::gintenb:
        GlobalEnables(c, true);
        return;
    case Op::trapdis:
        TrapEnables(c, false);
        return;
    case Op::trapenb:
        TrapEnables(c, true);
        return;
    case Op::ldtraph:
    case Op::sttraph:
    case Op::ldtrapped:
    case Op::sttrapped:
        TrapStructureOp(c, op);
        return;
    case Op::causeerror: {
        // A = 2^i: trap i as if its condition had occurred, flagged as caused.
        const uint32_t cause = static_cast<uint32_t>(std::countr_zero(s.areg));
        if (cause <= 13 && TrapAvailable(c, cause)) {
            Raise(c, cause);
            Raise(c, trap_cause::kCauseError);
        }
        UndefineAbc(s);
        return;
    }
    case Op::tret:
        Tret(c, start);
        return;
    case Op::timeslice:
        return; // the queue is always empty
    case Op::nop:
        return;
    case Op::reboot:
        c.Reset(c.boot_);
        return;
    case Op::ldtimer:
    case Op::tin:
    case Op::stclock:
    case Op::ldclock:
    case Op::clockdis:
    case Op::clockenb:
        Timer(c, op);
        return;
    default:
        // swapqueue, ldshadow, stshadow, restart, iret: no scheduler queues or shadow
        // registers here (core_choices.h).
        Illegal(c, start);
        return;
    }
}

} // namespace tapster::st20
