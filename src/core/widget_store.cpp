#include "core/widget_store.h"

#include <cstdio>
#include <cstdlib>

namespace tapster {

namespace {

WidgetState Make(WidgetKind kind, const std::string& parent, const std::string& text = "") {
    WidgetState w;
    w.kind = kind;
    w.parent = parent;
    w.text = text;
    return w;
}

WidgetState Hidden(WidgetState w) {
    w.visible = false;
    return w;
}

WidgetState Ticked(WidgetState w) {
    w.checked = true;
    return w;
}

WidgetState WithItems(WidgetState w, std::vector<std::string> items, int selected) {
    w.items = std::move(items);
    w.position = selected;
    return w;
}

WidgetState Ranged(WidgetState w, int minimum, int maximum, int position, int tick) {
    w.minimum = minimum;
    w.maximum = maximum;
    w.position = position;
    w.tickInterval = tick;
    return w;
}

} // namespace

WidgetStore::WidgetStore() {
    using K = WidgetKind;
    // Top of the window.
    Add("Label4", Make(K::Label, "", "CPU speed :"));
    Add("lblSpeed", Make(K::Label, "", "0"));
    Add("Memo4", Make(K::Container, ""));
    Add("ProgressBar1", Ranged(Make(K::Progress, ""), 0, 100, 0, 1));
    Add("lblAdr", Hidden(Make(K::Label, "", "Addr 0x00000000")));
    Add("shDCU", Make(K::Container, ""));

    // Page "Hardware Config".
    Add("shChk", Make(K::Container, "shDCU"));
    Add("Panel1", Make(K::Container, "shChk"));
    Add("trkDelay", Ranged(Make(K::Slider, "Panel1"), 0, 1000, 0, 15));
    Add("lblDelay", Make(K::Label, "Panel1", "0"));
    Add("lblJtagClk", Make(K::Label, "Panel1", "40"));
    Add("cmdDelay", Make(K::Button, "Panel1", "Check"));
    Add("txtRAM", Make(K::Edit, "Panel1", "40000000"));
    Add("txtVRAM", Make(K::Edit, "Panel1", "C0000000"));
    Add("lstTrapAddr", WithItems(Make(K::Combo, "Panel1", "80000800"), {"80000800"}, 0));
    Add("cmdMemSeek", Make(K::Button, "Panel1", "Find Free Mem"));
    Add("chk1", Ticked(Make(K::Check, "Panel1", "0xFFFFFFFF")));
    Add("chk0", Make(K::Check, "Panel1", "0x00000000"));
    Add("chkHiPri", Ticked(Make(K::Check, "Panel1", "High")));
    Add("chkLowPri", Make(K::Check, "Panel1", "Low"));
    Add("chkBrkTrap", Ticked(Make(K::Check, "Panel1", "BreakPoint")));
    Add("chkErrTrap", Make(K::Check, "Panel1", "Errors"));
    Add("chkSysTrap", Make(K::Check, "Panel1", "System"));
    Add("chkSchedTrap", Make(K::Check, "Panel1", "Scheduler"));
    Add("cmdChkTraps", Make(K::Button, "Panel1", "Check existing"));
    Add("cmdReadRom", Make(K::Button, "Panel1", "Read Int. ROM"));
    Add("cmdLoadTrap", Make(K::Button, "Panel1", "Load Trap Routine"));
    Add("cmdInstTrap", Make(K::Button, "Panel1", "Install Traps"));
    Add("cmdTakeTrap", Make(K::Button, "Panel1", "Take Trap"));

    // Page "Flash Programming".
    Add("shFlash", Make(K::Container, "shDCU"));
    Add("Panel5", Make(K::Container, "shFlash"));
    Add("lstFlashBase",
        WithItems(Make(K::Combo, "Panel5", "7FE00000"), {"50000000", "60000000", "7FE00000"}, 2));
    Add("cmdGetDevCode", Make(K::Button, "Panel5", "Check"));
    Add("lblFlashCode", Hidden(Make(K::Label, "Panel5", "Flash IDCODE")));
    Add("txtBlkBase", Make(K::Edit, "Panel5"));
    Add("cmdProtect", Make(K::Button, "Panel5", "Block Protect Status"));
    Add("cmdBlkErase", Make(K::Button, "Panel5", "Clear Sector"));
    Add("cmdChipErase", Make(K::Button, "Panel5", "Clear Chip"));
    Add("txtFromAddr", Make(K::Edit, "Panel5"));
    Add("txtFlashLen", Make(K::Edit, "Panel5"));
    Add("cmdReadToFile", Make(K::Button, "Panel5", "Read to File"));
    Add("cmdWriteFlash", Make(K::Button, "Panel5", "Write from File"));
    Add("cmdCancel", Hidden(Make(K::Button, "shFlash", "Abort !")));

    // Page "DCU registers".
    Add("shDcuRegs", Make(K::Container, "shDCU"));
    Add("Panel2", Make(K::Container, "shDcuRegs"));
    Add("GroupBox6", Make(K::Container, "Panel2", "DCU monitor"));
    Add("cmdStartDCU", Make(K::Button, "GroupBox6", "Start"));
    Add("txtPoll", Make(K::Edit, "GroupBox6", "500"));
    Add("trkPoll", Ranged(Make(K::UpDown, "GroupBox6"), 100, 1000, 500, 100));
    for (const char* name : {"txtStatus", "txtControl", "txtWPAdr", "txtJTFrom", "txtJTIptr"})
        Add(name, Make(K::Edit, "GroupBox6", "00000000"));
    Add("cmdChgCtrl", Make(K::Button, "GroupBox6"));
    Add("GroupBox7", Make(K::Container, "Panel2", "DCU Control - Batch Command"));
    Add("lstBatch", WithItems(Make(K::List, "GroupBox7"),
                              {"C8000000", "C0000000", "40000000", "20000000"}, -1));
    Add("cmdAddRec", Make(K::Button, "GroupBox7", "Add Record"));
    Add("cmdEditRec", Make(K::Button, "GroupBox7", "Edit Record"));
    Add("cmdDelRec", Make(K::Button, "GroupBox7", "Delete Record"));
    Add("cmdRunBatch", Make(K::Button, "GroupBox7", "Run Batch"));
    Add("GroupBox5", Make(K::Container, "Panel2", "Manual Commands"));
    Add("txtManAddr", Make(K::Edit, "GroupBox5"));
    Add("txtManData", Make(K::Edit, "GroupBox5"));
    Add("cmdManRead", Make(K::Button, "GroupBox5", "Read"));
    Add("cmdManWrite", Make(K::Button, "GroupBox5", "Write"));

    // Page "Other stuffs".
    Add("shOther", Make(K::Container, "shDCU"));
    Add("Panel3", Make(K::Container, "shOther"));
    Add("selBrkCond",
        WithItems(Make(K::Radio, "Panel3", "Break conditions"),
                  {"Trap on interrupt", "Trap on next flow", "Trap on watchpoint (Wptr) matched",
                   "Trap on breakpoint (Iptr) matched"},
                  0));
    Add("cmdLoadDCU", Hidden(Make(K::Button, "Panel3", "Load DCU")));
    Add("GroupBox8", Make(K::Container, "Panel3", "RAM Writing Verification"));
    Add("txtVrfRAM", Make(K::Edit, "GroupBox8"));
    Add("cmdVrfRAM", Make(K::Button, "GroupBox8", "Verify RAM Load"));
    Add("cmdVrfTrap", Make(K::Button, "GroupBox8", "Verify Trap Handler"));
}

void WidgetStore::Add(const std::string& name, WidgetState state) {
    widgets_.emplace(name, std::move(state));
    order_.push_back(name);
}

bool WidgetStore::Has(std::string_view name) const {
    return widgets_.find(name) != widgets_.end();
}

WidgetKind WidgetStore::KindOf(std::string_view name) const {
    return At(name).kind;
}

bool WidgetStore::Usable(std::string_view name) const {
    for (const WidgetState* w = &At(name);; w = &At(w->parent)) {
        if (!w->enabled || !w->visible) return false;
        if (w->parent.empty()) return true;
    }
}

WidgetState& WidgetStore::At(std::string_view name) {
    return const_cast<WidgetState&>(static_cast<const WidgetStore*>(this)->At(name));
}

const WidgetState& WidgetStore::At(std::string_view name) const {
    auto it = widgets_.find(name);
    if (it == widgets_.end()) {
        // A command naming a widget the window does not have is a programming error.
        std::fprintf(stderr, "internal error: no widget named '%.*s'\n",
                     static_cast<int>(name.size()), name.data());
        std::abort();
    }
    return it->second;
}

std::string WidgetStore::Text(std::string_view name) {
    return At(name).text;
}
void WidgetStore::SetText(std::string_view name, const std::string& text) {
    At(name).text = text;
}
bool WidgetStore::Checked(std::string_view name) {
    return At(name).checked;
}
void WidgetStore::SetChecked(std::string_view name, bool checked) {
    At(name).checked = checked;
}
int WidgetStore::Position(std::string_view name) {
    return At(name).position;
}

void WidgetStore::SetPosition(std::string_view name, int position) {
    WidgetState& w = At(name);
    if (w.kind == WidgetKind::Slider || w.kind == WidgetKind::UpDown ||
        w.kind == WidgetKind::Progress) {
        // Sliders and up-downs keep their position inside their range, as the real controls do.
        if (w.kind != WidgetKind::Progress) {
            if (position < w.minimum) position = w.minimum;
            if (position > w.maximum) position = w.maximum;
        }
    } else if (w.kind == WidgetKind::List || w.kind == WidgetKind::Combo ||
               w.kind == WidgetKind::Radio) {
        if (position < -1 || position >= static_cast<int>(w.items.size())) position = -1;
        if (w.kind == WidgetKind::Combo && position >= 0)
            w.text = w.items[static_cast<size_t>(position)];
    }
    w.position = position;
    if (w.kind == WidgetKind::UpDown && name == "trkPoll")
        At("txtPoll").text = std::to_string(position);
}

int WidgetStore::Minimum(std::string_view name) {
    return At(name).minimum;
}
int WidgetStore::Maximum(std::string_view name) {
    return At(name).maximum;
}

void WidgetStore::SetRange(std::string_view name, int minimum, int maximum) {
    WidgetState& w = At(name);
    w.minimum = minimum;
    w.maximum = maximum;
    if (w.kind != WidgetKind::Progress && w.position > maximum) w.position = maximum;
}

int WidgetStore::TickInterval(std::string_view name) {
    return At(name).tickInterval;
}
void WidgetStore::SetTickInterval(std::string_view name, int interval) {
    At(name).tickInterval = interval;
}

std::vector<std::string> WidgetStore::Items(std::string_view name) {
    return At(name).items;
}
void WidgetStore::AddItem(std::string_view name, const std::string& text) {
    At(name).items.push_back(text);
}

void WidgetStore::SetItem(std::string_view name, int index, const std::string& text) {
    WidgetState& w = At(name);
    if (index >= 0 && index < static_cast<int>(w.items.size()))
        w.items[static_cast<size_t>(index)] = text;
}

void WidgetStore::DeleteItem(std::string_view name, int index) {
    WidgetState& w = At(name);
    if (index < 0 || index >= static_cast<int>(w.items.size())) return;
    w.items.erase(w.items.begin() + index);
    // Like a list box: the selection goes away with the deleted item.
    w.position = -1;
}

bool WidgetStore::Visible(std::string_view name) {
    return At(name).visible;
}
void WidgetStore::SetVisible(std::string_view name, bool visible) {
    At(name).visible = visible;
}
bool WidgetStore::Enabled(std::string_view name) {
    return At(name).enabled;
}
void WidgetStore::SetEnabled(std::string_view name, bool enabled) {
    At(name).enabled = enabled;
}

void WidgetStore::LogLine(const std::string& line) {
    log_.push_back(line);
}

std::string WidgetStore::LastLogLine() {
    return log_.empty() ? std::string() : log_.back();
}

void WidgetStore::ReplaceLastLogLine(const std::string& line) {
    if (log_.empty())
        log_.push_back(line);
    else
        log_.back() = line;
}

} // namespace tapster
