// Where the debug control unit's registers and the trap slots sit in the target's address space,
// and the bits of the control and status registers, as tables.
//
// The host has the same map in ops/dcu_tables.h. The board keeps its own copy on purpose: it is
// the independent check on the host, so a wrong address on either side shows as a failing test
// instead of agreeing with itself.
#pragma once

#include "board/dcu_choices.h"
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

// DCU_STATUS bits: dcu_choices.h.
using dcu_choice::kStBreakArmed;
using dcu_choice::kStCauseShift;
using dcu_choice::kStHaltedOnError;
using dcu_choice::kStIllegalOpcode;
using dcu_choice::kStInReset;
using dcu_choice::kStRunning;
using dcu_choice::kStStalled;
using dcu_choice::kStTrapped;

// Break conditions (their matching and delivery: dcu_choices.h).
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

} // namespace tapster::board
