// What the simulated debug control unit does where no public description of the real unit
// says: how each break condition the host arms is matched and delivered, what DCU_STATUS
// shows, and how the CPU boots. Every such choice is here, in one place (docs/board-presets.md,
// "The CPU and its debug unit", explains them for users of the board).
#pragma once

#include "st20/core.h"

#include <cstdint>

namespace tapster::board::dcu_choice {

// Every break condition delivers a Breakpoint-group trap with the Breakpoint cause bit, through
// the Breakpoint slot of the priority the CPU runs at (BRK_TRAP_HIGH for the resident program,
// which runs at high priority). The host reads the mailbox base of each condition from another
// group's slot; installing the same routine in every slot (every group box checked) makes them
// agree. The trap is not gated by the Enables breakpoint bit; DCU_CONTROL bit 18 (Inhibit Trap)
// holds every condition back until it is cleared.
inline constexpr st20::TrapGroup kTrapGroup = st20::TrapGroup::Breakpoint;
inline constexpr uint32_t kTrapCause = st20::trap_cause::kBreakpoint;

// A handler structure whose WPTR is 0 counts as not installed: a condition that fires then
// passes without a trap (and is spent).
inline constexpr uint32_t kNullWptr = 0;

// Match addresses. The host never writes the breakpoint or watchpoint address; the units take
// the address their trace register shows at the arming write: the breakpoint matches
// DCU_JUMPTRACE_IPTR (the target of the last taken jump, which a loop reaches again), the
// watchpoint matches the word of DCU_WP_ADDRESS (the last data access, which a loop makes
// again). The breakpoint traps in place of the matched instruction (it has not run, the trapped
// IPTR is its address); the watchpoint traps after the instruction that made the access.
//
// "Trap at interrupt" (bit 29) and "stall at deschedule" (bit 30) act at the next descheduling
// point, a taken j or a looping lend, where the C2 accepts interrupts and timeslices; the trap
// is taken in place of the instruction the jump leads to. "Trap at next instruction" (bit 28)
// traps in place of the next instruction.
//
// Each condition fires once per arming write; a write to its register without the arming bits
// disarms it.

// DCU_STATUS bits.
inline constexpr uint32_t kStRunning = 0x00000001;       // executing instructions
inline constexpr uint32_t kStStalled = 0x00000002;       // stalled (bit 31, or bit 30 once hit)
inline constexpr uint32_t kStInReset = 0x00000004;       // held in reset (bit 27)
inline constexpr uint32_t kStTrapped = 0x00000008;       // in a handler entered by a DCU trap
inline constexpr uint32_t kStBreakArmed = 0x00000010;    // a break condition waits to fire
inline constexpr uint32_t kStHaltedOnError = 0x00000020; // stopped: error flag with HaltOnError
inline constexpr uint32_t kStIllegalOpcode = 0x00000040; // stopped: an illegal instruction
inline constexpr uint32_t kStCauseShift = 8; // bits 8-11: the condition of the last DCU trap

// Power-up and DCU reset: the CPU starts at the top of the internal ROM at high priority. The
// boot code there sets its own workspace.
inline constexpr uint32_t kBootIptr = 0x7FFFFFFE;
inline constexpr uint32_t kBootWptr = 0x80000400;
inline constexpr uint8_t kBootPriority = 0;

// The cable's control line held low stops the CPU (it does not execute) without resetting it:
// every host command pulses that line, and the agent must outlive the commands.

} // namespace tapster::board::dcu_choice
