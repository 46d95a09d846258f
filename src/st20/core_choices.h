// Every value and behaviour the ST20-C2 manuals leave undefined or disputed, fixed once for the
// simulated core. Code that depends on one of these would behave differently on silicon, so the
// undefined register contents are a recognisable poison rather than a harmless-looking zero.
#pragma once

#include <cstdint>

namespace tapster::st20::choice {

// A, B or C after an instruction that leaves it undefined (C after every pop, A/B/C after j,
// lend, tin, move, stnl, call's B and C, the trap-structure instructions, ...).
inline constexpr uint32_t kUndefined = 0xDEADC0DE;

// shl/shr with a shift of 32 or more: the description's "the result is zero" (the definition
// says implementation dependent). lshl/lshr with a shift of 64 or more likewise give zero.
inline constexpr uint32_t kShiftOutResult = 0;

// A handler structure whose Wptr word holds this value is "not installed": a trap that would
// enter it is treated as not enabled (an error then sets ErrorFlag; an illegal opcode stops the
// core; a debug-unit request is dropped). Zero is what cleared memory holds.
inline constexpr uint32_t kNullHandlerWptr = 0;

// Reset values: all traps disabled, the global interrupt enables set ("normally set to 1"), a
// zero Status, both clocks running from zero, ErrorFlag and HaltOnError clear.
inline constexpr uint32_t kResetEnables = 0x00FF0000;
inline constexpr uint32_t kResetStatus = 0;
inline constexpr uint32_t kResetClockEnables = 0x3;
// Reset and reboot keep the cycle count: simulated time never runs backwards.

// Status bits 19..18 hold the trap group in the handler's Status while it runs, which is how
// tret finds the trapped-process structure to return to. The trapped Status gets bit 31
// (valid) and the cause bit only.
inline constexpr uint32_t kStatusGroupShift = 18;
inline constexpr uint32_t kStatusGroupMask = 0x3u << kStatusGroupShift;
// tret clears the valid bit and every trap cause bit (13..0 and CauseError 15) of the restored
// Status: "clears the trap flag".
inline constexpr uint32_t kTretClearedStatus = 0x8000BFFF;
// Status bits 30..26 (interrupted operation) record a tin that a trap interrupted; tret resumes
// the wait with the time tin left at pw.Time (W-20).
inline constexpr uint32_t kInterruptedShift = 26;
inline constexpr uint32_t kInterruptedMask = 0x1Fu << kInterruptedShift;
inline constexpr uint32_t kInterruptedTin = 8;
// What a waiting tin leaves in pw.State (W-12); pw.Time (W-20) gets the time waited for.
inline constexpr uint32_t kTinWaitingState = 0x80000002;

// A debug-unit trap request is forced: the Enables bits do not gate it, and it is taken in the
// priority the core is running at. j 0 that takes its trap leaves A, B and C as they were, so
// the breakpoint handler sees them; j 0 without the trap undefines them like every j.
// The trap mechanism's own accesses to the structures are not reported to the observer.

// IllegalOpcode with the trap not taken: the core stops with Iptr at the illegal instruction's
// first byte. A halt on error leaves Iptr after the failing instruction.
// One ErrorFlag and one HaltOnError serve both priorities (Status and Enables are per priority).
// seterr is an error signal: ErrorFlag is set and HaltOnError halts, no trap is raised.
// With the Error trap enabled, checked arithmetic and cb/cs raise the trap instead of setting
// ErrorFlag. A raised trap that is masked when it is due stays pending until it is enabled.

// lend: the count is always decremented; while the result is greater than zero (signed) the
// index is incremented and the loop jumps back. A loop that ends leaves count 0 (or count-1 for
// a count that started at zero or below) and the index of the last pass.
// move: copies forward, byte by byte in increasing addresses (an overlapping move to a higher
// address repeats the first bytes); a length of zero or below (signed) copies nothing.
// ldtrapped/sttrapped act on the current priority (the D/G reading); C is ignored.
// settimeslice: A = 0 clears Status bit 20 of the current priority, any other value sets it; A
// gets the previous bit as 0 or 1. Without a scheduler queue, timeslicing has no other effect.
// timeslice is a no-op (the queue is always empty). swapqueue, ldshadow, stshadow, restart and
// iret need the scheduler's queues and shadow registers, which this core does not model: they
// are treated as illegal opcodes. reboot resets the core to the board's boot state.
// Word accesses ignore address bits 1..0 and 16-bit accesses bit 0 (the bus sees aligned
// addresses only); gajw clears bits 1..0 of the new Wptr.
// Prefix runs: a pfix/nfix chain longer than kMaxPrefixesPerStep continues in the next step (no
// boundary in between), so a memory full of prefixes cannot hang a step.
inline constexpr uint32_t kMaxPrefixesPerStep = 64;
// move copies at most this many bytes per step; a longer one leaves A (bytes left), B and C
// (the next destination and source) advanced and Iptr on the move, and goes on in the next step.
inline constexpr uint32_t kMoveChunkBytes = 4096;
// The boot priority, unless the board says otherwise: low, as a transputer boots.
inline constexpr uint8_t kBootPriority = 1;

// Cycles where D gives a range or nothing.
inline constexpr uint32_t kPrefixCycles = 1;        // each pfix/nfix ("0-1")
inline constexpr uint32_t kTrapEntryCycles = 10;    // saving and loading the structures
inline constexpr uint32_t kIllegalCycles = 1;       // an illegal opcode
inline constexpr uint32_t kCjTakenExtra = 4;        // cj: 1 not taken, 5 taken
inline constexpr uint32_t kLendLoopExtra = 3;       // lend: 5 leaving, 8 looping
inline constexpr uint32_t kMoveBaseCycles = 8;      // move: 8 + 1 per word (rounded up)
inline constexpr uint32_t kTinCycles = 4;           // tin, when the time has already passed
inline constexpr uint32_t kTinDescheduleCycles = 9; // tin that waits (before the wait itself)

} // namespace tapster::st20::choice
