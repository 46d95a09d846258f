#include "board/idle_skip.h"

namespace tapster::board {

namespace {
// How far it watches before it gives up: passes and instructions per pass.
constexpr int kPasses = 6;
constexpr uint64_t kPassInstructions = 512;
constexpr size_t kPassWrites = 64;

bool TimeDependent(st20::Op op) {
    using st20::Op;
    switch (op) {
    case Op::ldtimer:
    case Op::tin:
    case Op::ldclock:
    case Op::stclock:
    case Op::clockenb:
    case Op::clockdis:
    case Op::timeslice:
    case Op::settimeslice:
    case Op::reboot:
    case Op::opr: // an illegal instruction
        return true;
    default:
        return false;
    }
}
} // namespace

bool IdleSkip::SameRegisters(const st20::CoreState& a, const st20::CoreState& b) {
    return a.areg == b.areg && a.breg == b.breg && a.creg == b.creg && a.oreg == b.oreg &&
           a.wptr == b.wptr && a.iptr == b.iptr && a.priority == b.priority &&
           a.status == b.status && a.enables == b.enables && a.errorFlag == b.errorFlag &&
           a.haltOnError == b.haltOnError && a.interruptsDisabled == b.interruptsDisabled &&
           a.clockEnables == b.clockEnables;
}

void IdleSkip::Jumped(uint32_t from, uint32_t to) {
    if (!watching_ || to > from) return;
    atHead_ = true;
    core_.RequestStop();
}

void IdleSkip::Accessed(uint32_t address, uint32_t size, bool write) {
    if (!watching_) return;
    if (!bus_.PlainRam(address)) {
        const MemoryMap::Span span = memory_.DirectSpan(address);
        if (write || span.size == 0) clean_ = false; // a device, or memory under one
        return;
    }
    if (!write) return;
    if (writes_.size() >= kPassWrites) {
        clean_ = false;
        return;
    }
    uint32_t value = 0;
    for (uint32_t i = 0; i < size; ++i)
        value |= static_cast<uint32_t>(memory_.Read8(address + i)) << (8 * i);
    writes_.push_back({address, size, value});
}

void IdleSkip::Executed(const st20::TraceRecord& record) {
    if (TimeDependent(record.op)) clean_ = false;
}

void IdleSkip::Try(uint64_t targetCycles, st20::CoreTrace* restoreTrace) {
    watching_ = true;
    core_.SetTrace(this);
    Pass previous;
    bool havePrevious = false;
    for (int pass = 0; pass < kPasses && core_.State().cycles < targetCycles; ++pass) {
        atHead_ = false;
        clean_ = true;
        writes_.clear();
        const st20::RunResult run =
            core_.Run({kPassInstructions, targetCycles - core_.State().cycles});
        if (!atHead_ || run.traps != 0 || core_.Waiting() || core_.Stop() || core_.TrapRequested())
            break;
        Pass now{core_.State(), writes_, clean_};
        if (havePrevious && previous.clean && now.clean && previous.writes == now.writes &&
            SameRegisters(previous.state, now.state)) {
            const uint64_t period = now.state.cycles - previous.state.cycles;
            const uint64_t left = targetCycles - core_.State().cycles;
            if (period != 0 && left >= period) {
                const uint64_t skip = left / period * period;
                core_.State().cycles += skip;
                skipped_ += skip;
            }
            break;
        }
        previous = std::move(now);
        havePrevious = true;
    }
    watching_ = false;
    core_.SetTrace(restoreTrace);
}

} // namespace tapster::board
