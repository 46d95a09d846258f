// Every widget of the main window, once: name, kind, container, caption or default text, check
// state, range, position and items. The plain widget store and the Qt pages both build from these
// rows; the pages add only the layout. The commands name a widget by its id in namespace w
// (w::txtRAM), so a misspelt name fails to compile instead of ending the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tapster {

enum class WidgetKind {
    Label,
    Button,
    Edit,
    Combo,
    Check,
    Slider,
    UpDown,
    Progress,
    Radio,
    List,
    Container
};

struct WidgetRow {
    std::string_view name;
    WidgetKind kind = WidgetKind::Label;
    std::string_view parent = {};  // the container it sits in ("" for the window itself)
    std::string_view caption = {}; // caption, group title or the edit's first text
    bool checked = false;
    bool hidden = false;
    int minimum = 0;
    int maximum = 100;
    int position = 0; // slider or up-down position, selected item (-1 for none)
    int tick = 1;     // slider tick interval, up-down step
    std::span<const std::string_view> items = {};
    bool hex = false; // a field the commands read as a hex number
};

// The window: caption and size.
inline constexpr std::string_view kMainWindowCaption = "Tapster";
inline constexpr int kMainWindowWidth = 700;
inline constexpr int kMainWindowHeight = 539;

namespace widget_items {
inline constexpr std::string_view kTrapAddr[] = {"80000800"};
inline constexpr std::string_view kFlashBase[] = {"50000000", "60000000", "7FE00000"};
inline constexpr std::string_view kBatch[] = {"C8000000", "C0000000", "40000000", "20000000"};
inline constexpr std::string_view kBreakConditions[] = {"Trap on interrupt", "Trap on next flow",
                                                        "Trap on watchpoint (Wptr) matched",
                                                        "Trap on breakpoint (Iptr) matched"};
} // namespace widget_items

// In the order of the window's layout: top of the window, then the four pages.
// clang-format off
inline constexpr WidgetRow kWidgetTable[] = {
    {.name = "Label4",        .kind = WidgetKind::Label,     .caption = "CPU speed :"},
    {.name = "lblSpeed",      .kind = WidgetKind::Label,     .caption = "0"},
    {.name = "Memo4",         .kind = WidgetKind::Container},
    {.name = "ProgressBar1",  .kind = WidgetKind::Progress},
    {.name = "lblAdr",        .kind = WidgetKind::Label,     .caption = "Addr 0x00000000", .hidden = true},
    {.name = "shDCU",         .kind = WidgetKind::Container},

    // Page "Hardware Config".
    {.name = "shChk",         .kind = WidgetKind::Container, .parent = "shDCU"},
    {.name = "Panel1",        .kind = WidgetKind::Container, .parent = "shChk"},
    {.name = "trkDelay",      .kind = WidgetKind::Slider,    .parent = "Panel1", .maximum = 1000, .tick = 15},
    {.name = "lblDelay",      .kind = WidgetKind::Label,     .parent = "Panel1", .caption = "0"},
    {.name = "lblJtagClk",    .kind = WidgetKind::Label,     .parent = "Panel1", .caption = "40"},
    {.name = "cmdDelay",      .kind = WidgetKind::Button,    .parent = "Panel1", .caption = "Check"},
    {.name = "txtRAM",        .kind = WidgetKind::Edit,      .parent = "Panel1", .caption = "40000000", .hex = true},
    {.name = "txtVRAM",       .kind = WidgetKind::Edit,      .parent = "Panel1", .caption = "C0000000", .hex = true},
    {.name = "lstTrapAddr",   .kind = WidgetKind::Combo,     .parent = "Panel1", .caption = "80000800", .items = widget_items::kTrapAddr, .hex = true},
    {.name = "cmdMemSeek",    .kind = WidgetKind::Button,    .parent = "Panel1", .caption = "Find Free Mem"},
    {.name = "chk1",          .kind = WidgetKind::Check,     .parent = "Panel1", .caption = "0xFFFFFFFF", .checked = true},
    {.name = "chk0",          .kind = WidgetKind::Check,     .parent = "Panel1", .caption = "0x00000000"},
    {.name = "chkHiPri",      .kind = WidgetKind::Check,     .parent = "Panel1", .caption = "High", .checked = true},
    {.name = "chkLowPri",     .kind = WidgetKind::Check,     .parent = "Panel1", .caption = "Low"},
    {.name = "chkBrkTrap",    .kind = WidgetKind::Check,     .parent = "Panel1", .caption = "BreakPoint", .checked = true},
    {.name = "chkErrTrap",    .kind = WidgetKind::Check,     .parent = "Panel1", .caption = "Errors"},
    {.name = "chkSysTrap",    .kind = WidgetKind::Check,     .parent = "Panel1", .caption = "System"},
    {.name = "chkSchedTrap",  .kind = WidgetKind::Check,     .parent = "Panel1", .caption = "Scheduler"},
    {.name = "cmdChkTraps",   .kind = WidgetKind::Button,    .parent = "Panel1", .caption = "Check existing"},
    {.name = "cmdReadRom",    .kind = WidgetKind::Button,    .parent = "Panel1", .caption = "Read Int. ROM"},
    {.name = "cmdLoadTrap",   .kind = WidgetKind::Button,    .parent = "Panel1", .caption = "Load Trap Routine"},
    {.name = "cmdInstTrap",   .kind = WidgetKind::Button,    .parent = "Panel1", .caption = "Install Traps"},
    {.name = "cmdTakeTrap",   .kind = WidgetKind::Button,    .parent = "Panel1", .caption = "Take Trap"},

    // Page "Flash Programming".
    {.name = "shFlash",       .kind = WidgetKind::Container, .parent = "shDCU"},
    {.name = "Panel5",        .kind = WidgetKind::Container, .parent = "shFlash"},
    {.name = "lstFlashBase",  .kind = WidgetKind::Combo,     .parent = "Panel5", .caption = "7FE00000", .position = 2, .items = widget_items::kFlashBase, .hex = true},
    {.name = "cmdGetDevCode", .kind = WidgetKind::Button,    .parent = "Panel5", .caption = "Check"},
    {.name = "lblFlashCode",  .kind = WidgetKind::Label,     .parent = "Panel5", .caption = "Flash IDCODE", .hidden = true},
    {.name = "txtBlkBase",    .kind = WidgetKind::Edit,      .parent = "Panel5", .hex = true},
    {.name = "cmdProtect",    .kind = WidgetKind::Button,    .parent = "Panel5", .caption = "Block Protect Status"},
    {.name = "cmdBlkErase",   .kind = WidgetKind::Button,    .parent = "Panel5", .caption = "Clear Sector"},
    {.name = "cmdChipErase",  .kind = WidgetKind::Button,    .parent = "Panel5", .caption = "Clear Chip"},
    {.name = "txtFromAddr",   .kind = WidgetKind::Edit,      .parent = "Panel5", .hex = true},
    {.name = "txtFlashLen",   .kind = WidgetKind::Edit,      .parent = "Panel5", .hex = true},
    {.name = "cmdReadToFile", .kind = WidgetKind::Button,    .parent = "Panel5", .caption = "Read to File"},
    {.name = "cmdWriteFlash", .kind = WidgetKind::Button,    .parent = "Panel5", .caption = "Write from File"},
    {.name = "cmdCancel",     .kind = WidgetKind::Button,    .parent = "shFlash", .caption = "Abort !", .hidden = true},

    // Page "DCU registers".
    {.name = "shDcuRegs",     .kind = WidgetKind::Container, .parent = "shDCU"},
    {.name = "Panel2",        .kind = WidgetKind::Container, .parent = "shDcuRegs"},
    {.name = "GroupBox6",     .kind = WidgetKind::Container, .parent = "Panel2", .caption = "DCU monitor"},
    {.name = "cmdStartDCU",   .kind = WidgetKind::Button,    .parent = "GroupBox6", .caption = "Start"},
    {.name = "txtPoll",       .kind = WidgetKind::Edit,      .parent = "GroupBox6", .caption = "500"},
    {.name = "trkPoll",       .kind = WidgetKind::UpDown,    .parent = "GroupBox6", .minimum = 100, .maximum = 1000, .position = 500, .tick = 100},
    {.name = "txtStatus",     .kind = WidgetKind::Edit,      .parent = "GroupBox6", .caption = "00000000"},
    {.name = "txtControl",    .kind = WidgetKind::Edit,      .parent = "GroupBox6", .caption = "00000000", .hex = true},
    {.name = "txtWPAdr",      .kind = WidgetKind::Edit,      .parent = "GroupBox6", .caption = "00000000"},
    {.name = "txtJTFrom",     .kind = WidgetKind::Edit,      .parent = "GroupBox6", .caption = "00000000"},
    {.name = "txtJTIptr",     .kind = WidgetKind::Edit,      .parent = "GroupBox6", .caption = "00000000"},
    {.name = "cmdChgCtrl",    .kind = WidgetKind::Button,    .parent = "GroupBox6"},
    {.name = "GroupBox7",     .kind = WidgetKind::Container, .parent = "Panel2", .caption = "DCU Control - Batch Command"},
    {.name = "lstBatch",      .kind = WidgetKind::List,      .parent = "GroupBox7", .position = -1, .items = widget_items::kBatch},
    {.name = "cmdAddRec",     .kind = WidgetKind::Button,    .parent = "GroupBox7", .caption = "Add Record"},
    {.name = "cmdEditRec",    .kind = WidgetKind::Button,    .parent = "GroupBox7", .caption = "Edit Record"},
    {.name = "cmdDelRec",     .kind = WidgetKind::Button,    .parent = "GroupBox7", .caption = "Delete Record"},
    {.name = "cmdRunBatch",   .kind = WidgetKind::Button,    .parent = "GroupBox7", .caption = "Run Batch"},
    {.name = "GroupBox5",     .kind = WidgetKind::Container, .parent = "Panel2", .caption = "Manual Commands"},
    {.name = "txtManAddr",    .kind = WidgetKind::Edit,      .parent = "GroupBox5", .hex = true},
    {.name = "txtManData",    .kind = WidgetKind::Edit,      .parent = "GroupBox5", .hex = true},
    {.name = "cmdManRead",    .kind = WidgetKind::Button,    .parent = "GroupBox5", .caption = "Read"},
    {.name = "cmdManWrite",   .kind = WidgetKind::Button,    .parent = "GroupBox5", .caption = "Write"},

    // Page "Other stuffs".
    {.name = "shOther",       .kind = WidgetKind::Container, .parent = "shDCU"},
    {.name = "Panel3",        .kind = WidgetKind::Container, .parent = "shOther"},
    {.name = "selBrkCond",    .kind = WidgetKind::Radio,     .parent = "Panel3", .caption = "Break conditions", .items = widget_items::kBreakConditions},
    {.name = "cmdLoadDCU",    .kind = WidgetKind::Button,    .parent = "Panel3", .caption = "Load DCU", .hidden = true},
    {.name = "GroupBox8",     .kind = WidgetKind::Container, .parent = "Panel3", .caption = "RAM Writing Verification"},
    {.name = "txtVrfRAM",     .kind = WidgetKind::Edit,      .parent = "GroupBox8", .hex = true},
    {.name = "cmdVrfRAM",     .kind = WidgetKind::Button,    .parent = "GroupBox8", .caption = "Verify RAM Load"},
    {.name = "cmdVrfTrap",    .kind = WidgetKind::Button,    .parent = "GroupBox8", .caption = "Verify Trap Handler"},
};
// clang-format on

inline constexpr size_t kWidgetCount = std::size(kWidgetTable);

// A widget of the table, by its row. Made only by WidgetIdOf, so every id names a real row.
class WidgetId {
  public:
    constexpr const WidgetRow& Row() const { return kWidgetTable[index_]; }
    constexpr std::string_view Name() const { return Row().name; }
    constexpr size_t Index() const { return index_; }
    // The seam names widgets by text; an id passes for its name.
    constexpr operator std::string_view() const { return Name(); }
    constexpr bool operator==(const WidgetId&) const = default;

  private:
    friend consteval WidgetId WidgetIdOf(std::string_view name);
    constexpr explicit WidgetId(size_t index) : index_(static_cast<uint8_t>(index)) {}
    uint8_t index_;
};

// The id of the named row; a name not in the table does not compile.
consteval WidgetId WidgetIdOf(std::string_view name) {
    for (size_t i = 0; i < kWidgetCount; ++i)
        if (kWidgetTable[i].name == name) return WidgetId(i);
    throw "no widget of that name in kWidgetTable";
}

// The row of a name read at run time (a command line, a test); null when there is none.
constexpr const WidgetRow* FindWidgetRow(std::string_view name) {
    for (const WidgetRow& row : kWidgetTable)
        if (row.name == name) return &row;
    return nullptr;
}

// The ids the commands and the pages use, one per row.
namespace w {
#define TAPSTER_WIDGET_ID(name) inline constexpr WidgetId name = WidgetIdOf(#name)
TAPSTER_WIDGET_ID(Label4);
TAPSTER_WIDGET_ID(lblSpeed);
TAPSTER_WIDGET_ID(Memo4);
TAPSTER_WIDGET_ID(ProgressBar1);
TAPSTER_WIDGET_ID(lblAdr);
TAPSTER_WIDGET_ID(shDCU);
TAPSTER_WIDGET_ID(shChk);
TAPSTER_WIDGET_ID(Panel1);
TAPSTER_WIDGET_ID(trkDelay);
TAPSTER_WIDGET_ID(lblDelay);
TAPSTER_WIDGET_ID(lblJtagClk);
TAPSTER_WIDGET_ID(cmdDelay);
TAPSTER_WIDGET_ID(txtRAM);
TAPSTER_WIDGET_ID(txtVRAM);
TAPSTER_WIDGET_ID(lstTrapAddr);
TAPSTER_WIDGET_ID(cmdMemSeek);
TAPSTER_WIDGET_ID(chk1);
TAPSTER_WIDGET_ID(chk0);
TAPSTER_WIDGET_ID(chkHiPri);
TAPSTER_WIDGET_ID(chkLowPri);
TAPSTER_WIDGET_ID(chkBrkTrap);
TAPSTER_WIDGET_ID(chkErrTrap);
TAPSTER_WIDGET_ID(chkSysTrap);
TAPSTER_WIDGET_ID(chkSchedTrap);
TAPSTER_WIDGET_ID(cmdChkTraps);
TAPSTER_WIDGET_ID(cmdReadRom);
TAPSTER_WIDGET_ID(cmdLoadTrap);
TAPSTER_WIDGET_ID(cmdInstTrap);
TAPSTER_WIDGET_ID(cmdTakeTrap);
TAPSTER_WIDGET_ID(shFlash);
TAPSTER_WIDGET_ID(Panel5);
TAPSTER_WIDGET_ID(lstFlashBase);
TAPSTER_WIDGET_ID(cmdGetDevCode);
TAPSTER_WIDGET_ID(lblFlashCode);
TAPSTER_WIDGET_ID(txtBlkBase);
TAPSTER_WIDGET_ID(cmdProtect);
TAPSTER_WIDGET_ID(cmdBlkErase);
TAPSTER_WIDGET_ID(cmdChipErase);
TAPSTER_WIDGET_ID(txtFromAddr);
TAPSTER_WIDGET_ID(txtFlashLen);
TAPSTER_WIDGET_ID(cmdReadToFile);
TAPSTER_WIDGET_ID(cmdWriteFlash);
TAPSTER_WIDGET_ID(cmdCancel);
TAPSTER_WIDGET_ID(shDcuRegs);
TAPSTER_WIDGET_ID(Panel2);
TAPSTER_WIDGET_ID(GroupBox6);
TAPSTER_WIDGET_ID(cmdStartDCU);
TAPSTER_WIDGET_ID(txtPoll);
TAPSTER_WIDGET_ID(trkPoll);
TAPSTER_WIDGET_ID(txtStatus);
TAPSTER_WIDGET_ID(txtControl);
TAPSTER_WIDGET_ID(txtWPAdr);
TAPSTER_WIDGET_ID(txtJTFrom);
TAPSTER_WIDGET_ID(txtJTIptr);
TAPSTER_WIDGET_ID(cmdChgCtrl);
TAPSTER_WIDGET_ID(GroupBox7);
TAPSTER_WIDGET_ID(lstBatch);
TAPSTER_WIDGET_ID(cmdAddRec);
TAPSTER_WIDGET_ID(cmdEditRec);
TAPSTER_WIDGET_ID(cmdDelRec);
TAPSTER_WIDGET_ID(cmdRunBatch);
TAPSTER_WIDGET_ID(GroupBox5);
TAPSTER_WIDGET_ID(txtManAddr);
TAPSTER_WIDGET_ID(txtManData);
TAPSTER_WIDGET_ID(cmdManRead);
TAPSTER_WIDGET_ID(cmdManWrite);
TAPSTER_WIDGET_ID(shOther);
TAPSTER_WIDGET_ID(Panel3);
TAPSTER_WIDGET_ID(selBrkCond);
TAPSTER_WIDGET_ID(cmdLoadDCU);
TAPSTER_WIDGET_ID(GroupBox8);
TAPSTER_WIDGET_ID(txtVrfRAM);
TAPSTER_WIDGET_ID(cmdVrfRAM);
TAPSTER_WIDGET_ID(cmdVrfTrap);
#undef TAPSTER_WIDGET_ID
} // namespace w

} // namespace tapster
