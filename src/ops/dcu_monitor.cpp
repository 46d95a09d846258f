// The page "DCU registers": the DCU monitor on Timer1, the control-register change from the
// monitor, and the batch list of control values.
#include "core/hex.h"
#include "core/main_form.h"
#include "core/widget_table.h"
#include "jtag/link.h"
#include "jtag/tap_engine.h"
#include "ops/commands.h"
#include "ops/dcu_ctrl.h"
#include "ops/dcu_tables.h"
#include "ops/services.h"
#include "ops/state_reset.h"
#include "ops/target_session.h"

#include <cctype>
#include <string>
#include <vector>

namespace tapster {

namespace {

constexpr uint32_t kBatchSettleMs = 100;

// The monitor's process-wide values; a reset is one assignment of MonitorState{}.
struct MonitorState {
    // Busy mode leaves the monitor group usable. The monitor enters busy mode itself while it
    // runs; busy mode it did not enter belongs to another command, whose link traffic a monitor
    // start, stop or control write would corrupt.
    bool ownsBusy = false;
    // A start is under way (its JTAG initialisation lets the window handle clicks).
    bool starting = false;
};
MonitorState monitor;

bool MonitorRunning() {
    return frmMain->Text(w::cmdStartDCU) == "Stop";
}

bool AnotherCommandBusy() {
    return !frmMain->Enabled(w::Panel1) && !monitor.ownsBusy;
}

bool RefuseWhileBusy() {
    if (!AnotherCommandBusy()) return false;
    frmMain->ErrorBox("Another command is in progress !!! Wait for it to end (or abort it) "
                      "before using the DCU monitor.");
    return true;
}

// A whole decimal number, possibly signed and surrounded by blanks; saturates far out of range.
bool ParseDecimal(const std::string& text, long long& value) {
    size_t i = 0, end = text.size();
    while (i < end && std::isspace(static_cast<unsigned char>(text[i])) != 0)
        ++i;
    while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1])) != 0)
        --end;
    bool negative = false;
    if (i < end && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == end) return false;
    value = 0;
    for (; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        if (value < 1000000000LL) value = value * 10 + (text[i] - '0');
    }
    if (negative) value = -value;
    return true;
}

// The poll interval as the up-down reads it from its buddy edit: a number is clamped into the
// up-down's range; anything else keeps the last position. Edit and up-down then agree again.
int PollPosition() {
    const int minimum = frmMain->Minimum(w::trkPoll);
    const int maximum = frmMain->Maximum(w::trkPoll);
    long long value = frmMain->Position(w::trkPoll);
    long long typed = 0;
    if (ParseDecimal(frmMain->Text(w::txtPoll), typed)) value = typed;
    if (value < minimum) value = minimum;
    if (value > maximum) value = maximum;
    const int position = static_cast<int>(value);
    frmMain->SetPosition(w::trkPoll, position);
    frmMain->SetText(w::txtPoll, std::to_string(position));
    return position;
}

} // namespace

void cmdStartDCUClick() {
    if (monitor.starting || RefuseWhileBusy()) return;
    // Start and stop both claim; the running monitor keeps the chain and busy mode between.
    const bool running = MonitorRunning();
    TargetSession session(running ? BusyOrder::Never : BusyOrder::AfterClaim);
    if (!session.Claimed()) return;
    if (!running) {
        monitor.ownsBusy = true;
        monitor.starting = true;
        session.Start();
        session.Keep();
        monitor.starting = false;
        frmMain->SetText(w::cmdStartDCU, "Stop");
        frmMain->SetTimerEnabled(true);
        frmMain->SetTimerInterval(PollPosition());
    } else {
        frmMain->SetText(w::cmdStartDCU, "Start");
        frmMain->SetTimerEnabled(false);
        session.Resume();
        session.Finish();
        monitor.ownsBusy = false;
    }
}

void trkPollClick() {
    frmMain->SetTimerInterval(PollPosition());
}

void Timer1Timer() {
    // The tick relies on the claim and link state of a running monitor.
    if (MonitorRunning()) RefreshDcuMonitor();
}

void cmdChangeCtrlClick() {
    if (RefuseWhileBusy()) return;
    frmControl.FillBits(static_cast<uint32_t>(ParseHex(frmMain->Text(w::txtControl))));
    const bool running = MonitorRunning();
    if (running) frmMain->SetTimerEnabled(false);
    const bool sent = frmMain->ShowControlDialog();
    if (!running) return;
    if (sent) {
        Log("Set DCU Control " + Hex8(frmControl.ControlValue));
        WriteWord(DCU_CONTROL, frmControl.ControlValue);
    }
    frmMain->SetTimerEnabled(true);
}

void cmdAddRecClick() {
    frmControl.FillBits(0);
    if (frmMain->ShowControlDialog()) frmMain->AddItem(w::lstBatch, Hex8(frmControl.ControlValue));
}

void cmdEditRecClick() {
    const int index = frmMain->Position(w::lstBatch);
    const std::vector<std::string> items = frmMain->Items(w::lstBatch);
    if (index < 0 || static_cast<size_t>(index) >= items.size()) return;
    frmControl.FillBits(static_cast<uint32_t>(ParseHex(items[static_cast<size_t>(index)])));
    if (frmMain->ShowControlDialog())
        frmMain->SetItem(w::lstBatch, index, Hex8(frmControl.ControlValue));
}

void cmdDelRecClick() {
    const int index = frmMain->Position(w::lstBatch);
    if (index < 0 || static_cast<size_t>(index) >= frmMain->Items(w::lstBatch).size()) return;
    frmMain->DeleteItem(w::lstBatch, index);
}

void cmdRunBatchClick() {
    TargetSession session(BusyOrder::AfterClaim);
    if (!session.Claimed()) return;
    session.Start();
    const std::vector<std::string> items = frmMain->Items(w::lstBatch);
    for (const std::string& item : items) {
        Log("Set DCU Control " + item);
        WriteWord(DCU_CONTROL, static_cast<uint32_t>(ParseHex(item)));
        Log(std::string(34, '-'));
        DelayMs(kBatchSettleMs);
        ReportDcuRegisters();
    }
}

void ResetMonitorState() {
    monitor = {};
    frmControl = ControlRegisterState{};
}

} // namespace tapster
