#include "board/cpu.h"

#include "board/dcu_choices.h"

namespace tapster::board {

namespace {
namespace choice = dcu_choice;

// Below this many cycles to run, looking for an idle loop costs more than it saves.
constexpr uint64_t kSkipMinimum = 2000;

uint32_t Bit(BreakCause cause) {
    return static_cast<uint32_t>(cause);
}

uint32_t Read32(MemoryMap& memory, uint32_t address) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(memory.Read8(address + i)) << (8 * i);
    return value;
}
} // namespace

Cpu::Cpu(MemoryMap& memory, CoreBusAdapter& bus, uint64_t cpuHz)
    : memory_(memory), core_(bus, st20::CoreConfig{0, cpuHz}), skip_(core_, memory, bus) {
    Reset();
}

bool Cpu::Executing() const {
    const bool stalled = (control_ & kCtlStallCpu) != 0 || descheduleStall_;
    return !stalled && (control_ & kCtlResetCpu) == 0 && !lineHeld_ && !core_.Stop().has_value();
}

uint32_t Cpu::Status() const {
    const bool stalled = (control_ & kCtlStallCpu) != 0 || descheduleStall_;
    uint32_t status = lastCause_ << choice::kStCauseShift;
    if (Executing()) status |= choice::kStRunning;
    if (stalled) status |= choice::kStStalled;
    if (control_ & kCtlResetCpu) status |= choice::kStInReset;
    if (trapped_) status |= choice::kStTrapped;
    if (armed_ != 0) status |= choice::kStBreakArmed;
    if (core_.Stop() == st20::StopReason::HaltedOnError) status |= choice::kStHaltedOnError;
    if (core_.Stop() == st20::StopReason::IllegalOpcode) status |= choice::kStIllegalOpcode;
    return status;
}

void Cpu::Reset() {
    const uint64_t cycles = core_.State().cycles; // board time goes on across a reset
    core_.Reset({choice::kBootIptr, choice::kBootWptr, choice::kBootPriority});
    core_.State().cycles = cycles;
    trapped_ = false;
    armed_ = 0;
    pendingCause_ = 0;
    lastCause_ = 0;
    descheduleStall_ = false;
    from_ = 0;
    to_ = choice::kBootIptr;
    watch_ = choice::kBootWptr;
    UpdateObserving();
}

void Cpu::UpdateObserving() {
    uint32_t mask = st20::kObserveJumps | st20::kObserveData;
    if (armed_ & Bit(BreakCause::Breakpoint)) mask |= st20::kObserveInstructions;
    core_.SetObserver(this, mask);
}

void Cpu::Arm(BreakCause cause, bool on) {
    if (on)
        armed_ |= Bit(cause);
    else
        armed_ &= ~Bit(cause);
    UpdateObserving();
}

void Cpu::WriteControl(uint32_t value) {
    control_ = value;
    if ((value & kCtlStallAtDeschedule) == 0) descheduleStall_ = false;
    if (running_) core_.RequestStop(); // the CPU's own store: it acts before the next instruction
    if (value & kCtlResetCpu) {
        if (running_)
            resetPending_ = true; // never reset the core from inside its own store
        else
            Reset();
    }
    Arm(BreakCause::Interrupt, (value & kCtlTrapAtInterrupt) != 0);
    Arm(BreakCause::NextFlow, (value & kCtlTrapAtNextInstruction) != 0);
}

void Cpu::WriteWatchpointControl(uint32_t value) {
    const bool on = (value & kMatchTrapArm) == kMatchTrapArm;
    if (on) wpAddress_ = watch_ & ~3u;
    Arm(BreakCause::Watchpoint, on);
}

void Cpu::WriteBreakpointControl(uint32_t value) {
    const bool on = (value & kMatchTrapArm) == kMatchTrapArm;
    if (on) bpAddress_ = to_;
    Arm(BreakCause::Breakpoint, on);
}

bool Cpu::Fire(BreakCause cause) {
    Arm(cause, false); // spent, whether or not a handler takes it
    const uint32_t handler = st20::TrapHandlerAddress(core_.State().priority, choice::kTrapGroup);
    if (Read32(memory_, handler + kSlotWptr) == choice::kNullWptr) return false;
    core_.RequestTrap(choice::kTrapGroup, choice::kTrapCause);
    pendingCause_ = Bit(cause);
    return true;
}

void Cpu::TakeRequestedTrap() {
    const st20::RunResult entry = core_.Step();
    if (entry.traps == 0) return;
    trapped_ = true;
    lastCause_ = pendingCause_;
    pendingCause_ = 0;
    const st20::CoreState& state = core_.State();
    resumeIptr_ =
        Read32(memory_, st20::TrappedProcessAddress(state.priority, choice::kTrapGroup) + 12);
}

bool Cpu::DeschedulingJump(uint32_t from) {
    uint32_t oreg = 0;
    for (uint32_t i = 0; i < 8; ++i) {
        const MemoryMap::Span span = memory_.DirectSpan(from + i);
        if (span.size == 0) return false;
        const uint8_t byte = span.data[from + i - span.base];
        const uint32_t function = byte >> 4;
        oreg |= byte & 0xFu;
        if (function == 0x2)
            oreg <<= 4;
        else if (function == 0x6)
            oreg = ~oreg << 4;
        else
            return (function == 0x0 && oreg != 0) || (function == 0xF && oreg == 0x21);
    }
    return false;
}

bool Cpu::BeforeInstruction(uint32_t iptr) {
    if ((armed_ & Bit(BreakCause::Breakpoint)) && !Inhibited() && iptr == bpAddress_ &&
        !core_.TrapRequested())
        return !Fire(BreakCause::Breakpoint); // in place of the matched instruction
    return true;
}

void Cpu::DataAccess(uint32_t address, uint32_t size, bool write) {
    watch_ = address;
    if ((armed_ & Bit(BreakCause::Watchpoint)) && !Inhibited() && address < wpAddress_ + 4 &&
        address + size > wpAddress_ && !core_.TrapRequested()) {
        if (Fire(BreakCause::Watchpoint)) core_.RequestStop();
    }
    if (skip_.Watching()) skip_.Accessed(address, size, write);
}

void Cpu::Jump(uint32_t from, uint32_t to) {
    from_ = from;
    to_ = to;
    if (trapped_ && to == resumeIptr_) trapped_ = false; // tret back into the trapped code
    const bool stallPending = (control_ & kCtlStallAtDeschedule) != 0 && !descheduleStall_;
    const bool interruptArmed = (armed_ & Bit(BreakCause::Interrupt)) != 0 && !Inhibited();
    if ((stallPending || interruptArmed) && DeschedulingJump(from)) {
        if (stallPending) {
            descheduleStall_ = true;
            core_.RequestStop();
        } else if (!core_.TrapRequested() && Fire(BreakCause::Interrupt)) {
            core_.RequestStop();
        }
    }
    if (skip_.Watching()) skip_.Jumped(from, to);
}

void Cpu::RunUntil(uint64_t target) {
    bool triedSkip = false;
    running_ = true;
    while (core_.State().cycles < target) {
        if (resetPending_) {
            resetPending_ = false;
            Reset();
        }
        if (!Executing()) {
            core_.State().cycles = target; // time passes while the CPU does not execute
            break;
        }
        if (core_.TrapRequested()) {
            TakeRequestedTrap();
            continue;
        }
        if ((armed_ & Bit(BreakCause::NextFlow)) && !Inhibited()) {
            Fire(BreakCause::NextFlow);
            continue;
        }
        const uint64_t left = target - core_.State().cycles;
        if (!triedSkip && armed_ == 0 && (control_ & kCtlStallAtDeschedule) == 0 &&
            trace_ == nullptr && left > kSkipMinimum) {
            triedSkip = true;
            skip_.Try(target, trace_);
            continue;
        }
        const st20::RunResult run = core_.Run({UINT64_MAX, left});
        if (run.instructions == 0 && run.traps == 0 && run.cycles == 0 && !core_.TrapRequested() &&
            !core_.Waiting() && Executing()) {
            core_.State().cycles = target; // nothing moved: do not spin
            break;
        }
    }
    running_ = false;
    if (resetPending_) {
        resetPending_ = false;
        Reset();
    }
}

void Cpu::Advance(uint64_t cycles) {
    now_ += cycles;
    RunUntil(now_);
}

void Cpu::SetTrace(st20::CoreTrace* trace) {
    trace_ = trace;
    core_.SetTrace(trace);
}

} // namespace tapster::board
