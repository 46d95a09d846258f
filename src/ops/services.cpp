// Busy mode, the progress display, the claim at the start of a command and the start directory.
#include "ops/services.h"

#include "core/main_form.h"
#include "port/lpt.h"

#include <climits>
#include <filesystem>

namespace tapster {

std::string StartDirectory;

namespace {

// Progress positions are widget ints; a file longer than INT_MAX bytes still gets a usable bar.
int ClampToInt(uint64_t value) {
    return value > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

} // namespace

void Deactivate() {
    frmMain->SetEnabled("Panel1", false);
    frmMain->SetEnabled("Panel3", false);
    frmMain->SetEnabled("Panel5", false);
    frmMain->SetVisible("cmdCancel", true);
    frmMain->SetEnabled("GroupBox5", false);
    frmMain->SetEnabled("GroupBox7", false);
}

void Activate() {
    frmMain->SetEnabled("Panel1", true);
    frmMain->SetEnabled("Panel3", true);
    frmMain->SetEnabled("Panel5", true);
    frmMain->SetEnabled("GroupBox5", true);
    frmMain->SetEnabled("GroupBox7", true);
    frmMain->SetVisible("cmdCancel", false);
}

void ProgressBegin(uint32_t total) {
    frmMain->SetVisible("ProgressBar1", true);
    frmMain->SetVisible("lblAdr", true);
    frmMain->SetRange("ProgressBar1", 0, ClampToInt(total));
    frmMain->SetPosition("ProgressBar1", 0);
}

void ProgressAdvance(uint32_t step, const std::string& addressText) {
    // The verifications step by 252 against a byte total, so the last step may pass the maximum.
    const uint64_t position = static_cast<uint64_t>(frmMain->Position("ProgressBar1")) + step;
    frmMain->SetPosition("ProgressBar1", ClampToInt(position));
    frmMain->SetText("lblAdr", addressText);
    frmMain->Repaint("lblAdr");
}

void ProgressEnd() {
    frmMain->SetVisible("ProgressBar1", false);
    frmMain->SetVisible("lblAdr", false);
}

bool ClaimPortForCommand() {
    bool portReady = true;
    if (GetWindowsFamily() == kFamilyNt && !ClaimPort(kLptFirstBase, kLptSecondBase))
        portReady = false;
    // The box is the whole report: nothing reaches the log. Why the claim failed stays available
    // to the front ends as LastPortClaimHint().
    if (!portReady) frmMain->ErrorBox("The parallel port could not be opened");
    return portReady;
}

std::string StartDirectoryFile(const std::string& name) {
    if (StartDirectory.empty()) return name;
    return (std::filesystem::path(StartDirectory) / name).string();
}

} // namespace tapster
