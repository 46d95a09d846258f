// The debug control unit's registers and the eight trap slots: addresses and the names the log
// prints. The survey, the reports, the trap commands and the DCU monitor all read them from here.
#pragma once

#include "core/widget_table.h"

#include <array>
#include <cstdint>

namespace tapster {

// DCU registers.
constexpr uint32_t DCU_STATUS = 0x3000;
constexpr uint32_t DCU_CONTROL = 0x3004;
constexpr uint32_t DCU_BP_CONTROL = 0x302C;
constexpr uint32_t DCU_WP_ADDRESS = 0x3068;
constexpr uint32_t DCU_WP_CONTROL = 0x306C;
constexpr uint32_t DCU_JUMPTRACE_IPTR = 0x3080;
constexpr uint32_t DCU_JUMPTRACE_FROM = 0x3084;
constexpr uint32_t DCU_JUMPTRACE_CONTROL = 0x308C;

// Written to the jump-trace and watchpoint controls before their registers are read.
constexpr uint32_t kDcuTraceReadEnable = 0x00010000;
// Arms the watchpoint or breakpoint condition.
constexpr uint32_t kDcuMatchArm = 0x000A0000;

// Words of a trap slot, as offsets from its base.
constexpr uint32_t kSlotEnables = 0x00;
constexpr uint32_t kSlotStatus = 0x04;
constexpr uint32_t kSlotWptr = 0x08;
constexpr uint32_t kSlotIptr = 0x0C;
constexpr uint32_t kSlotTrappedStatus = 0x14;

// Offset of the workspace word OP_TEMP from the mailbox base (the agent's result 1).
constexpr uint32_t kOpTempOffset = 20;
// The routine's workspace lies this far above its entry.
constexpr uint32_t kTrapWorkspaceOffset = 0x200;

struct TrapSlot {
    const char* name;
    uint32_t base;
};

// The eight slots, k = 0..7: BRK, ERR, SYS, SCHED, high priority first, then low.
extern const std::array<TrapSlot, 8> kTrapSlots;

constexpr uint32_t BRK_TRAP_HIGH = 0x80000040;
constexpr uint32_t ERR_TRAP_HIGH = 0x80000060;
constexpr uint32_t SYS_TRAP_HIGH = 0x80000080;
constexpr uint32_t SCHED_TRAP_HIGH = 0x800000A0;
constexpr uint32_t BRK_TRAP_LOW = 0x800000C0;
constexpr uint32_t ERR_TRAP_LOW = 0x800000E0;
constexpr uint32_t SYS_TRAP_LOW = 0x80000100;
constexpr uint32_t SCHED_TRAP_LOW = 0x80000120;

struct SlotWord {
    const char* name;
    uint32_t offset;
};

// The four slot words the survey reads, in its order.
extern const std::array<SlotWord, 4> kSurveyWords;

// Slot indexes in the order the trapped-status report pairs them: high and low per group.
extern const std::array<int, 8> kTrappedStatusOrder;

// A group of traps: its check box and the ENABLES word the install writes into its slots.
struct TrapGroup {
    WidgetId checkBox;
    uint32_t enables;
    int highSlot; // index into kTrapSlots
    int lowSlot;
};

// BreakPoint, Errors, System, Scheduler: the install's order.
extern const std::array<TrapGroup, 4> kTrapGroups;

// A break condition of the radio group selBrkCond: the slot word read into the mailbox base and
// the one register write that arms the condition.
struct BreakCondition {
    uint32_t slotWord;
    uint32_t armRegister;
    uint32_t armValue;
};

extern const std::array<BreakCondition, 4> kBreakConditions;

} // namespace tapster
