// Where the debug control unit's registers and the trap slots sit in the target's address space,
// and the bits of the control and status registers, as tables.
//
// The host has the same map in ops/dcu_tables.h. The board keeps its own copy on purpose: it is
// the independent check on the host, so a wrong address on either side shows as a failing test
// instead of agreeing with itself.
#pragma once

#include "board/memory_map.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace tapster::board {

// The DCU register window is kDcuBase/kDcuSize of the memory map.
inline constexpr uint32_t kDcuStatus = 0x3000;
inline constexpr uint32_t kDcuControl = 0x3004;
inline constexpr uint32_t kDcuBpControl = 0x302C;
inline constexpr uint32_t kDcuWpAddress = 0x3068;
inline constexpr uint32_t kDcuWpControl = 0x306C;
inline constexpr uint32_t kDcuJumpTraceIptr = 0x3080;
inline constexpr uint32_t kDcuJumpTraceFrom = 0x3084;
inline constexpr uint32_t kDcuJumpTraceControl = 0x308C;

struct DcuRegister {
    std::string_view name;
    uint32_t address;
};

inline constexpr std::array<DcuRegister, 8> kDcuRegisters = {{
    {"DCU_STATUS", kDcuStatus},
    {"DCU_CONTROL", kDcuControl},
    {"DCU_BP_CONTROL", kDcuBpControl},
    {"DCU_WP_ADDRESS", kDcuWpAddress},
    {"DCU_WP_CONTROL", kDcuWpControl},
    {"DCU_JUMPTRACE_IPTR", kDcuJumpTraceIptr},
    {"DCU_JUMPTRACE_FROM", kDcuJumpTraceFrom},
    {"DCU_JUMPTRACE_CONTROL", kDcuJumpTraceControl},
}};

// DCU_CONTROL bits acted upon by the simulated CPU; the others are only stored.
inline constexpr uint32_t kCtlStallCpu = 1u << 31;
inline constexpr uint32_t kCtlStallAtDeschedule = 1u << 30;
inline constexpr uint32_t kCtlTrapAtInterrupt = 1u << 29;
inline constexpr uint32_t kCtlTrapAtNextInstruction = 1u << 28;
inline constexpr uint32_t kCtlResetCpu = 1u << 27;
inline constexpr uint32_t kCtlInhibitTrap = 1u << 18;

// DCU_WP_CONTROL / DCU_BP_CONTROL: both bits set arm "trap on match".
inline constexpr uint32_t kMatchTrapArm = 0x000A0000;

// DCU_STATUS bits of the simulated board.
inline constexpr uint32_t kStRunning = 0x00000001; // executing instructions
inline constexpr uint32_t kStStalled = 0x00000002; // stalled (control bit 31, or 30 once hit)
inline constexpr uint32_t kStInReset = 0x00000004; // held in reset (control bit 27)
inline constexpr uint32_t kStTrapped = 0x00000008; // inside a trap routine since a trap was taken
inline constexpr uint32_t kStBreakArmed = 0x00000010; // a break condition waits to fire
inline constexpr uint32_t kStCauseShift = 8;          // bits 8-11: cause of the last trap taken

// Break conditions, in the order the CPU tests them, with the trap slot each one enters.
enum class BreakCause : uint32_t {
    Interrupt = 0x1,  // control bit 29
    NextFlow = 0x2,   // control bit 28
    Watchpoint = 0x4, // DCU_WP_CONTROL armed
    Breakpoint = 0x8, // DCU_BP_CONTROL armed
};

// Trap slots: eight of 32 bytes, BRK, ERR, SYS, SCHED for the high priority, then the low.
inline constexpr uint32_t kTrapSlotBase = 0x80000040;
inline constexpr uint32_t kTrapSlotStride = 0x20;
inline constexpr uint32_t kSlotEnables = 0x00;
inline constexpr uint32_t kSlotStatus = 0x04;
inline constexpr uint32_t kSlotWptr = 0x08;
inline constexpr uint32_t kSlotIptr = 0x0C;
inline constexpr uint32_t kSlotTrappedStatus = 0x14;

struct TrapSlot {
    std::string_view name;
    uint32_t base;
};

inline constexpr std::array<TrapSlot, 8> kTrapSlots = {{
    {"BRK_TRAP_HIGH", 0x80000040},
    {"ERR_TRAP_HIGH", 0x80000060},
    {"SYS_TRAP_HIGH", 0x80000080},
    {"SCHED_TRAP_HIGH", 0x800000A0},
    {"BRK_TRAP_LOW", 0x800000C0},
    {"ERR_TRAP_LOW", 0x800000E0},
    {"SYS_TRAP_LOW", 0x80000100},
    {"SCHED_TRAP_LOW", 0x80000120},
}};

struct BreakRoute {
    BreakCause cause;
    size_t slot; // index into kTrapSlots
};

inline constexpr std::array<BreakRoute, 4> kBreakRoutes = {{
    {BreakCause::Interrupt, 0},  // BRK_TRAP_HIGH
    {BreakCause::NextFlow, 1},   // ERR_TRAP_HIGH
    {BreakCause::Watchpoint, 2}, // SYS_TRAP_HIGH
    {BreakCause::Breakpoint, 3}, // SCHED_TRAP_HIGH
}};

// Written to a slot's trapped status word when a trap is taken into it: this flag and the cause.
inline constexpr uint32_t kTrappedFlag = 0x80000000;

// Bytes of a trap routine image; the routine counts as loaded when all of them were written.
inline constexpr uint32_t kTrapRoutineSize = 484;

} // namespace tapster::board
