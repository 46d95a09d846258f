// Every command a widget of the window starts, once: the widget, its handler, what starts it and
// whether it may run while another command runs. The Qt window wires its signals from these
// rows and tapcheck-cli looks its steps up in them; adding a button is one row here plus its
// handler in commands.h.
#pragma once

#include "core/widget_table.h"
#include "ops/commands.h"

#include <span>
#include <string_view>

namespace tapster {

enum class CommandTrigger {
    Click,  // a button's click
    Change, // every change of a slider's or up-down's position, by the user or by a command
};

struct CommandRow {
    WidgetId widget;
    void (*handler)() = nullptr;
    CommandTrigger trigger = CommandTrigger::Click;
    // A click inside another command's wait would run a command inside that command, its link
    // traffic and log lines mixed into the running one's: every click is refused there but
    // "Abort !", which exists to be pressed then. A change of position is not refused: the
    // hardware check moves the delay slider itself, and the handler must follow.
    bool runsWhileBusy = false;
};

constexpr bool RefusedWhileBusy(const CommandRow& row) {
    return row.trigger == CommandTrigger::Click && !row.runsWhileBusy;
}

// clang-format off
inline constexpr CommandRow kCommandTable[] = {
    {.widget = w::trkDelay,      .handler = &trkDelayChange, .trigger = CommandTrigger::Change},
    {.widget = w::cmdDelay,      .handler = &cmdDelayClick},
    {.widget = w::cmdMemSeek,    .handler = &cmdMemSeekClick},
    {.widget = w::cmdChkTraps,   .handler = &cmdChkTrapsClick},
    {.widget = w::cmdReadRom,    .handler = &cmdReadRomClick},
    {.widget = w::cmdLoadTrap,   .handler = &cmdLoadTrapClick},
    {.widget = w::cmdInstTrap,   .handler = &cmdInstTrapClick},
    // "Take Trap" and the hidden "Load DCU" share one handler.
    {.widget = w::cmdTakeTrap,   .handler = &cmdLoadDCUClick},
    {.widget = w::cmdGetDevCode, .handler = &cmdGetDevCodeClick},
    {.widget = w::cmdProtect,    .handler = &cmdProtectClick},
    {.widget = w::cmdBlkErase,   .handler = &cmdBlkEraseClick},
    {.widget = w::cmdChipErase,  .handler = &cmdChipEraseClick},
    {.widget = w::cmdReadToFile, .handler = &cmdReadToFileClick},
    {.widget = w::cmdWriteFlash, .handler = &cmdWriteFlashClick},
    {.widget = w::cmdCancel,     .handler = &cmdCancelClick, .runsWhileBusy = true},
    {.widget = w::cmdStartDCU,   .handler = &cmdStartDCUClick},
    {.widget = w::trkPoll,       .handler = &trkPollClick, .trigger = CommandTrigger::Change},
    {.widget = w::cmdChgCtrl,    .handler = &cmdChangeCtrlClick},
    {.widget = w::cmdAddRec,     .handler = &cmdAddRecClick},
    {.widget = w::cmdEditRec,    .handler = &cmdEditRecClick},
    {.widget = w::cmdDelRec,     .handler = &cmdDelRecClick},
    {.widget = w::cmdRunBatch,   .handler = &cmdRunBatchClick},
    {.widget = w::cmdManRead,    .handler = &cmdManReadClick},
    {.widget = w::cmdManWrite,   .handler = &cmdManWriteClick},
    {.widget = w::cmdLoadDCU,    .handler = &cmdLoadDCUClick},
    {.widget = w::cmdVrfRAM,     .handler = &cmdVrfRAMClick},
    {.widget = w::cmdVrfTrap,    .handler = &cmdVrfTrapClick},
};
// clang-format on

// The row for a widget's name and trigger; null when that widget starts no such command.
constexpr const CommandRow* FindCommand(std::string_view widget, CommandTrigger trigger) {
    for (const CommandRow& row : kCommandTable)
        if (row.widget.Name() == widget && row.trigger == trigger) return &row;
    return nullptr;
}

} // namespace tapster
