// Where every widget of the widget table sits in the Win32 window, as one table keyed by the typed
// widget ids, and the static captions and frames no command names. The pages follow the Qt
// window's structure (the same groups in the same order), so both windows look like one program.
// A widget of the table without exactly one place fails to compile.
#pragma once

#include "core/widget_table.h"

#include <array>
#include <cstddef>

namespace tapster::win {

// A rectangle in pixels: on the window's client area for the top-level widgets, on its page for
// everything inside one.
struct Place {
    WidgetId id;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// clang-format off
inline constexpr Place kLayout[] = {
    {w::Label4,        8,   6,  74,  14},
    {w::lblSpeed,      84,  6,  60,  14},
    {w::shDCU,         4,   24, 684, 252},
    {w::Memo4,         4,   280, 684, 170},
    {w::ProgressBar1,  4,   454, 556, 16},
    {w::lblAdr,        566, 454, 122, 16},

    // Page "Hardware Config".
    {w::shChk,         0,   0,  0,   0},
    {w::Panel1,        2,   2,  672, 218},
    {w::trkDelay,      76,  6,  270, 28},
    {w::lblDelay,      350, 12, 36,  14},
    {w::lblJtagClk,    550, 12, 34,  14},
    {w::cmdDelay,      590, 7,  75,  24},
    {w::txtRAM,        178, 57, 80,  20},
    {w::txtVRAM,       178, 81, 80,  20},
    {w::lstTrapAddr,   178, 105, 96, 120},
    {w::cmdMemSeek,    178, 180, 100, 26},
    {w::chk1,          178, 130, 100, 18},
    {w::chk0,          178, 152, 100, 18},
    {w::chkHiPri,      326, 76, 90,  18},
    {w::chkLowPri,     426, 76, 90,  18},
    {w::chkBrkTrap,    326, 122, 90, 18},
    {w::chkErrTrap,    426, 122, 90, 18},
    {w::chkSysTrap,    326, 144, 90, 18},
    {w::chkSchedTrap,  426, 144, 90, 18},
    {w::cmdChkTraps,   546, 44, 120, 26},
    {w::cmdReadRom,    546, 76, 120, 26},
    {w::cmdLoadTrap,   546, 108, 120, 26},
    {w::cmdInstTrap,   546, 140, 120, 26},
    {w::cmdTakeTrap,   546, 172, 120, 26},

    // Page "Flash Programming".
    {w::shFlash,       0,   0,  0,   0},
    {w::Panel5,        2,   2,  560, 218},
    {w::lstFlashBase, 130, 10, 96, 120},
    {w::cmdGetDevCode, 234, 9, 75, 24},
    {w::lblFlashCode, 318, 14, 240, 14},
    {w::txtBlkBase,    110, 65, 80,  20},
    {w::cmdProtect,    16,  96, 230, 26},
    {w::cmdBlkErase,   16,  128, 230, 26},
    {w::cmdChipErase,  16,  160, 230, 26},
    {w::txtFromAddr,   368, 65, 80,  20},
    {w::txtFlashLen,   368, 91, 80,  20},
    {w::cmdReadToFile, 274, 128, 230, 26},
    {w::cmdWriteFlash, 274, 160, 230, 26},
    {w::cmdCancel,     568, 84, 106, 48},

    // Page "DCU registers".
    {w::shDcuRegs,     0,   0,  0,   0},
    {w::Panel2,        2,   2,  672, 218},
    {w::GroupBox6,     8,   4,  210, 210},
    {w::cmdStartDCU,   16,  22, 194, 24},
    {w::txtPoll, 106, 52, 52, 20},
    {w::trkPoll, 158, 52, 16, 20},
    {w::txtStatus,     100, 80, 80,  20},
    {w::txtControl,    100, 106, 80, 20},
    {w::txtWPAdr,      100, 132, 80, 20},
    {w::txtJTFrom,     100, 158, 80, 20},
    {w::txtJTIptr,     100, 184, 80, 20},
    {w::cmdChgCtrl,    184, 105, 24, 22},
    {w::GroupBox7,     226, 4,  220, 210},
    {w::lstBatch,      234, 22, 100, 186},
    {w::cmdAddRec,     342, 22, 96,  26},
    {w::cmdEditRec,    342, 54, 96,  26},
    {w::cmdDelRec,     342, 86, 96,  26},
    {w::cmdRunBatch,   342, 118, 96, 26},
    {w::GroupBox5,     454, 4,  212, 210},
    {w::txtManAddr,    500, 26, 80,  20},
    {w::txtManData,    500, 52, 80,  20},
    {w::cmdManRead,    462, 82, 94,  26},
    {w::cmdManWrite,   562, 82, 94,  26},

    // Page "Other stuffs".
    {w::shOther,       0,   0,  0,   0},
    {w::Panel3,        2,   2,  672, 218},
    {w::selBrkCond,    8,   4,  260, 112},
    {w::cmdLoadDCU,    8,   124, 100, 26},
    {w::GroupBox8,     280, 4,  240, 112},
    {w::txtVrfRAM,     372, 26, 80,  20},
    {w::cmdVrfRAM,     288, 54, 222, 26},
    {w::cmdVrfTrap,    288, 84, 222, 26},
};
// clang-format on

// A caption or a frame on a page that no command names.
struct StaticText {
    WidgetId page;
    const char* text;
    int x, y, width, height;
    bool frame = false; // a group box's frame and title instead of a plain caption
};

// clang-format off
inline constexpr StaticText kStaticTexts[] = {
    {w::shChk, "Jtag delay", 10, 12, 64, 14},
    {w::shChk, "TAP clock frequency, MHZ", 390, 12, 158, 14},
    {w::shChk, "Trap and memory buffer (64k) start address", 8, 38, 300, 176, true},
    {w::shChk, "RAM start address", 16, 60, 160, 14},
    {w::shChk, "Video RAM start address", 16, 84, 160, 14},
    {w::shChk, "Trap routine address", 16, 108, 160, 14},
    {w::shChk, "Free Memory Condition", 16, 132, 160, 14},
    {w::shChk, "Trap routine parameters", 316, 38, 222, 176, true},
    {w::shChk, "Trapped process Priority", 326, 56, 200, 14},
    {w::shChk, "Group of Traps", 326, 102, 200, 14},
    {w::shFlash, "Flash start address", 12, 14, 116, 14},
    {w::shFlash, "Clear Flash", 8, 44, 250, 170, true},
    {w::shFlash, "Sector address", 16, 68, 90, 14},
    {w::shFlash, "Write Flash", 266, 44, 250, 170, true},
    {w::shFlash, "From address", 274, 68, 90, 14},
    {w::shFlash, "Data Length", 274, 94, 90, 14},
    {w::shDcuRegs, "Polling interval", 16, 55, 90, 14},
    {w::shDcuRegs, "ms", 178, 55, 20, 14},
    {w::shDcuRegs, "Status", 16, 83, 80, 14},
    {w::shDcuRegs, "Control", 16, 109, 80, 14},
    {w::shDcuRegs, "WP Address", 16, 135, 80, 14},
    {w::shDcuRegs, "JT From", 16, 161, 80, 14},
    {w::shDcuRegs, "JT Iptr", 16, 187, 80, 14},
    {w::shDcuRegs, "Addr", 462, 29, 36, 14},
    {w::shDcuRegs, "Data", 462, 55, 36, 14},
    {w::shDcuRegs, "Only for EXPERIENCED users !!! Don't anything at this section if You not "
                   "understand  WHAT are You  DOING !!!", 462, 118, 196, 60},
    {w::shOther, "RAM address", 288, 29, 80, 14},
};
// clang-format on

// The page titles of shDCU, in the order of its pages.
inline constexpr WidgetId kPages[] = {w::shChk, w::shFlash, w::shDcuRegs, w::shOther};
inline constexpr const char* kPageTitles[] = {"Hardware Config", "Flash Programming",
                                              "DCU registers", "Other stuffs"};

// The layout row of every widget, indexed like the widget table; fails to compile when a widget
// has no place or two.
consteval std::array<size_t, kWidgetCount> LayoutRows() {
    constexpr size_t kNone = std::size(kLayout);
    std::array<size_t, kWidgetCount> rows{};
    rows.fill(kNone);
    for (size_t i = 0; i < std::size(kLayout); ++i) {
        if (rows[kLayout[i].id.Index()] != kNone) throw "a widget has two places in kLayout";
        rows[kLayout[i].id.Index()] = i;
    }
    for (size_t row : rows)
        if (row == kNone) throw "a widget of kWidgetTable has no place in kLayout";
    return rows;
}

inline constexpr std::array<size_t, kWidgetCount> kLayoutRows = LayoutRows();

constexpr const Place& PlaceOf(WidgetId id) {
    return kLayout[kLayoutRows[id.Index()]];
}

// Whether a container is one of the pages.
constexpr bool IsPage(WidgetId id) {
    for (WidgetId page : kPages)
        if (page == id) return true;
    return false;
}

} // namespace tapster::win
