#include "board/cpu.h"

#include <utility>

namespace tapster::board {

namespace {
// The boot program in the internal ROM, entered at the reset address, its workspace in SRAM.
constexpr uint32_t kResetIptr = 0x7FFFFFFE;
constexpr uint32_t kProgramBase = 0x7FFE0000;
constexpr uint32_t kProgramMask = 0x1FFFE;
constexpr uint32_t kStackTop = 0x80000400;
constexpr uint32_t kSeed = 0x5EED1234;
// The agent's polling loop, as offsets into the routine.
constexpr uint32_t kLoopEntry = 0x10;
constexpr uint32_t kLoopJumps = 0x40;

uint32_t Bit(BreakCause cause) {
    return static_cast<uint32_t>(cause);
}
} // namespace

Cpu::Cpu(TargetBus& bus, Agent& agent, std::vector<RamRange> ram)
    : bus_(bus), agent_(agent), ram_(std::move(ram)) {
    Reset();
}

bool Cpu::Stalled() const {
    return (control_ & kCtlStallCpu) != 0 || descheduleStall_;
}

bool Cpu::Executing() const {
    return !Stalled() && (control_ & kCtlResetCpu) == 0 && !lineHeld_;
}

uint32_t Cpu::Status() const {
    uint32_t status = lastCause_ << kStCauseShift;
    if (Executing()) status |= kStRunning;
    if (Stalled()) status |= kStStalled;
    if (control_ & kCtlResetCpu) status |= kStInReset;
    if (trapped_) status |= kStTrapped;
    if (armed_ != 0) status |= kStBreakArmed;
    return status;
}

void Cpu::Reset() {
    agent_.Halt();
    trapped_ = false;
    routine_ = 0;
    armed_ = 0;
    lastCause_ = 0;
    descheduleStall_ = false;
    seed_ = kSeed;
    steps_ = 0;
    from_ = 0;
    iptr_ = kResetIptr;
    wptr_ = kStackTop;
}

void Cpu::Arm(BreakCause cause, bool on) {
    if (on)
        armed_ |= Bit(cause);
    else
        armed_ &= ~Bit(cause);
}

void Cpu::WriteControl(uint32_t value) {
    control_ = value;
    if ((value & kCtlStallAtDeschedule) == 0) descheduleStall_ = false;
    if (value & kCtlResetCpu) Reset();
    // The trap bits arm on every write that carries them; a write without them disarms.
    Arm(BreakCause::Interrupt, (value & kCtlTrapAtInterrupt) != 0);
    Arm(BreakCause::NextFlow, (value & kCtlTrapAtNextInstruction) != 0);
}

void Cpu::WriteWatchpointControl(uint32_t value) {
    Arm(BreakCause::Watchpoint, (value & kMatchTrapArm) == kMatchTrapArm);
}

void Cpu::WriteBreakpointControl(uint32_t value) {
    Arm(BreakCause::Breakpoint, (value & kMatchTrapArm) == kMatchTrapArm);
}

bool Cpu::RoutineLoadedAt(uint32_t iptr) const {
    const uint64_t end = uint64_t{iptr} + kTrapRoutineSize;
    for (const RamRange& range : ram_) {
        if (iptr >= range.base && end <= uint64_t{range.base} + range.size)
            return written_.Covers(iptr, kTrapRoutineSize);
    }
    return false;
}

void Cpu::NoteHostWrite(uint32_t address, uint32_t length) {
    written_.Add(address, length);
    agent_.NoteHostWrite(address, length);
}

void Cpu::HostReading(uint32_t address, uint32_t length) {
    if (Executing()) agent_.Poll(address, length);
}

bool Cpu::TakeTrap(const BreakRoute& route) {
    const uint32_t slot = kTrapSlots[route.slot].base;
    const uint32_t iptr = bus_.Read32(slot + kSlotIptr);
    if (!RoutineLoadedAt(iptr)) return false;
    const uint32_t wptr = bus_.Read32(slot + kSlotWptr);
    bus_.Write32(slot + kSlotTrappedStatus, kTrappedFlag | Bit(route.cause));
    trapped_ = true;
    routine_ = iptr;
    lastCause_ = Bit(route.cause);
    from_ = iptr_;
    iptr_ = iptr;
    wptr_ = wptr;
    agent_.Start(wptr);
    return true;
}

void Cpu::RunProgram() {
    ++steps_;
    if (trapped_) {
        // The agent's polling loop: jumps back to its entry from a few places in the routine.
        from_ = routine_ + kLoopJumps + 4 * (steps_ % 8);
        iptr_ = routine_ + kLoopEntry;
        return;
    }
    seed_ = seed_ * 1664525u + 1013904223u;
    from_ = iptr_ + 2 + ((seed_ >> 24) & 0x3E);
    iptr_ = kProgramBase + ((seed_ >> 8) & kProgramMask);
    wptr_ = kStackTop - ((seed_ >> 4) & 0xF0);
}

void Cpu::Step() {
    if (!Executing()) return;
    bool entered = false;
    if (armed_ != 0 && (control_ & kCtlInhibitTrap) == 0) {
        for (const BreakRoute& route : kBreakRoutes) {
            if ((armed_ & Bit(route.cause)) == 0) continue;
            armed_ &= ~Bit(route.cause); // one condition per step; it fires once
            entered = TakeTrap(route);
            break;
        }
    }
    if (!entered) RunProgram();
    agent_.Step();
    if (control_ & kCtlStallAtDeschedule)
        descheduleStall_ = true; // the program deschedules at the end of every step
}

} // namespace tapster::board
