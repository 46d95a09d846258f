// The simulated target CPU: an ST20-C2 core executing whatever the memories hold, from the boot
// code in the internal ROM to the routines the host loads, and the part of the debug control
// unit that acts on it. The DCU's control register stalls, resets and runs it and arms the
// break conditions, which trap into the Breakpoint slot of the running priority (how each one
// matches: dcu_choices.h). The jump trace and the watchpoint address are the last taken jump
// and the last data access of the code that ran.
//
// Time is the core's cycle count, moved on by Advance (the board calls it with the cycles of
// the TCK clocks since the last call); it passes while the CPU is stalled or held as well.
// A trap routine the host loads (the flash agent among them) runs on the core like any other
// code, and the flash chip's busy times pass on the same cycles.
#pragma once

#include "board/core_bus.h"
#include "board/dcu_map.h"
#include "board/idle_skip.h"
#include "st20/core.h"

#include <cstdint>

namespace tapster::board {

class Cpu final : private st20::CoreObserver {
  public:
    Cpu(MemoryMap& memory, CoreBusAdapter& bus, uint64_t cpuHz);

    // Complete word writes to the DCU registers that act on the CPU.
    void WriteControl(uint32_t value);
    void WriteWatchpointControl(uint32_t value);
    void WriteBreakpointControl(uint32_t value);

    uint32_t Status() const;
    uint32_t JumpFrom() const { return from_; }
    uint32_t JumpIptr() const { return to_; }
    uint32_t WatchAddress() const { return watch_; }

    // True while the CPU executes instructions (not stalled, held, in reset or stopped).
    bool Executing() const;
    bool Trapped() const { return trapped_; }

    // Runs the CPU for `cycles` more cycles of board time.
    void Advance(uint64_t cycles);
    uint64_t Cycles() const { return core_.State().cycles; }
    st20::Core& Core() { return core_; }
    // Every executed instruction goes to `trace` (nullptr: none); idle loops then run in full.
    void SetTrace(st20::CoreTrace* trace);
    uint64_t SkippedCycles() const { return skip_.SkippedCycles(); }

    // The cable's control line: while low the CPU does not execute; nothing else is lost.
    void SetLineHeld(bool held) { lineHeld_ = held; }

  private:
    // CoreObserver.
    bool BeforeInstruction(uint32_t iptr) override;
    void DataAccess(uint32_t address, uint32_t size, bool write) override;
    void Jump(uint32_t from, uint32_t to) override;

    void Reset();
    void Arm(BreakCause cause, bool on);
    bool Inhibited() const { return (control_ & kCtlInhibitTrap) != 0; }
    // A condition matched: request the trap (false when no handler is installed).
    bool Fire(BreakCause cause);
    void TakeRequestedTrap();
    bool DeschedulingJump(uint32_t from);
    void UpdateObserving();
    void RunUntil(uint64_t target);

    MemoryMap& memory_;
    st20::Core core_;
    IdleSkip skip_;
    st20::CoreTrace* trace_ = nullptr;

    uint64_t now_ = 0;          // board time in cycles; the core may have run a little past it
    bool running_ = false;      // inside RunUntil: the core may be in the middle of a store
    bool resetPending_ = false; // a reset the CPU wrote itself, done between instructions
    uint32_t control_ = 0;
    bool lineHeld_ = false;
    bool descheduleStall_ = false;
    uint32_t armed_ = 0; // BreakCause bits
    uint32_t bpAddress_ = 0;
    uint32_t wpAddress_ = 0;
    uint32_t pendingCause_ = 0; // the condition whose trap was requested
    uint32_t lastCause_ = 0;
    bool trapped_ = false;
    uint32_t resumeIptr_ = 0; // where the trapped code resumes after tret

    uint32_t from_ = 0;
    uint32_t to_ = 0;
    uint32_t watch_ = 0;
};

} // namespace tapster::board
