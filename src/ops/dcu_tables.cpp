#include "ops/dcu_tables.h"

namespace tapster {

const std::array<TrapSlot, 8> kTrapSlots = {{
    {"BRK_TRAP_HIGH", BRK_TRAP_HIGH},
    {"ERR_TRAP_HIGH", ERR_TRAP_HIGH},
    {"SYS_TRAP_HIGH", SYS_TRAP_HIGH},
    {"SCHED_TRAP_HIGH", SCHED_TRAP_HIGH},
    {"BRK_TRAP_LOW", BRK_TRAP_LOW},
    {"ERR_TRAP_LOW", ERR_TRAP_LOW},
    {"SYS_TRAP_LOW", SYS_TRAP_LOW},
    {"SCHED_TRAP_LOW", SCHED_TRAP_LOW},
}};

const std::array<SlotWord, 4> kSurveyWords = {{
    {"ENABLES", kSlotEnables},
    {"STATUS", kSlotStatus},
    {"WPTR", kSlotWptr},
    {"IPTR", kSlotIptr},
}};

const std::array<int, 8> kTrappedStatusOrder = {0, 4, 1, 5, 2, 6, 3, 7};

const std::array<TrapGroup, 4> kTrapGroups = {{
    {w::chkBrkTrap, 0x00000000, 0, 4},
    {w::chkErrTrap, 0x00000006, 1, 5},
    {w::chkSysTrap, 0x00000038, 2, 6},
    {w::chkSchedTrap, 0x00003FC0, 3, 7},
}};

const std::array<BreakCondition, 4> kBreakConditions = {{
    {BRK_TRAP_HIGH + kSlotWptr, DCU_CONTROL, 0x20000000},        // trap on interrupt
    {ERR_TRAP_HIGH + kSlotWptr, DCU_CONTROL, 0x10000000},        // trap on next flow
    {SYS_TRAP_HIGH + kSlotWptr, DCU_WP_CONTROL, kDcuMatchArm},   // watchpoint (Wptr) matched
    {SCHED_TRAP_HIGH + kSlotWptr, DCU_BP_CONTROL, kDcuMatchArm}, // breakpoint (Iptr) matched
}};

} // namespace tapster
