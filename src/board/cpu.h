// The simulated target CPU as the debug control unit sees it. It runs deterministically: one step
// per link transaction, never by the clock. While it runs, the jump trace (from/iptr) and the
// watchpoint address move on every step. The control register stalls it, resets it and arms the
// trap-at-interrupt and trap-at-next-instruction conditions; the watchpoint and breakpoint
// controls arm theirs. An armed condition fires on a later step.
//
// When a condition fires the CPU reads the condition's trap slot. The trap is taken only if the
// slot's IPTR points at a loaded routine: all kTrapRoutineSize bytes from IPTR lie in RAM and were
// written by the host through the link since the board came up (the board knows a routine by
// where the host put it, never by its bytes). Taking the trap writes the slot's trapped status
// word and starts the agent on the slot's WPTR. Otherwise the condition passes unnoticed.
#pragma once

#include "board/agent.h"
#include "board/cpu_host_writes.h"
#include "board/dcu_map.h"
#include "board/target_bus.h"

#include <cstdint>
#include <vector>

namespace tapster::board {

struct RamRange {
    uint32_t base = 0;
    uint32_t size = 0;
};

class Cpu {
  public:
    Cpu(TargetBus& bus, Agent& agent, std::vector<RamRange> ram);

    // Complete word writes to the DCU registers that act on the CPU.
    void WriteControl(uint32_t value);
    void WriteWatchpointControl(uint32_t value);
    void WriteBreakpointControl(uint32_t value);

    uint32_t Status() const;
    uint32_t JumpFrom() const { return from_; }
    uint32_t JumpIptr() const { return iptr_; }
    uint32_t WatchAddress() const { return wptr_; }

    // True while the CPU executes instructions (not stalled, not held in reset).
    bool Executing() const;
    bool Trapped() const { return trapped_; }
    bool RoutineLoadedAt(uint32_t iptr) const;

    // The link's view: a host write landed, one step of work, a host read about to be served.
    void NoteHostWrite(uint32_t address, uint32_t length);
    void Step();
    void HostReading(uint32_t address, uint32_t length);

    // The cable's control line: while low the CPU does not execute; nothing else is lost.
    void SetLineHeld(bool held) { lineHeld_ = held; }

  private:
    bool Stalled() const;
    void Reset();
    void Arm(BreakCause cause, bool on);
    bool TakeTrap(const BreakRoute& route);
    void RunProgram();

    TargetBus& bus_;
    Agent& agent_;
    std::vector<RamRange> ram_;
    HostWrites written_;

    uint32_t control_ = 0;
    bool descheduleStall_ = false;
    bool lineHeld_ = false;
    uint32_t armed_ = 0; // BreakCause bits
    uint32_t lastCause_ = 0;
    bool trapped_ = false;
    uint32_t routine_ = 0; // IPTR of the routine entered by the last trap

    uint32_t seed_ = 0;
    uint32_t steps_ = 0;
    uint32_t from_ = 0;
    uint32_t iptr_ = 0;
    uint32_t wptr_ = 0;
};

} // namespace tapster::board
