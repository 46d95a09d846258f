// Busy mode, the progress display, the claim at the start of a command and the start directory.
#include "ops/services.h"

#include "core/main_form.h"
#include "core/widget_table.h"
#include "ops/command_outcome.h"
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
    frmMain->SetEnabled(w::Panel1, false);
    frmMain->SetEnabled(w::Panel3, false);
    frmMain->SetEnabled(w::Panel5, false);
    frmMain->SetVisible(w::cmdCancel, true);
    frmMain->SetEnabled(w::GroupBox5, false);
    frmMain->SetEnabled(w::GroupBox7, false);
}

void Activate() {
    frmMain->SetEnabled(w::Panel1, true);
    frmMain->SetEnabled(w::Panel3, true);
    frmMain->SetEnabled(w::Panel5, true);
    frmMain->SetEnabled(w::GroupBox5, true);
    frmMain->SetEnabled(w::GroupBox7, true);
    frmMain->SetVisible(w::cmdCancel, false);
}

void ProgressBegin(uint32_t total) {
    frmMain->SetVisible(w::ProgressBar1, true);
    frmMain->SetVisible(w::lblAdr, true);
    frmMain->SetRange(w::ProgressBar1, 0, ClampToInt(total));
    frmMain->SetPosition(w::ProgressBar1, 0);
}

void ProgressAdvance(uint32_t step, const std::string& addressText) {
    // The verifications step by 252 against a byte total, so the last step may pass the maximum.
    const uint64_t position = static_cast<uint64_t>(frmMain->Position(w::ProgressBar1)) + step;
    frmMain->SetPosition(w::ProgressBar1, ClampToInt(position));
    frmMain->SetText(w::lblAdr, addressText);
    frmMain->Repaint(w::lblAdr);
}

void ProgressEnd() {
    frmMain->SetVisible(w::ProgressBar1, false);
    frmMain->SetVisible(w::lblAdr, false);
}

bool ClaimPortForCommand() {
    bool portReady = true;
    if (GetWindowsFamily() == kFamilyNt && !ClaimPort(kLptFirstBase, kLptSecondBase))
        portReady = false;
    // The box is the whole report: nothing reaches the log. Why the claim failed goes with it.
    if (!portReady) {
        ReportCommandFailure();
        const std::string hint = LastPortClaimHint();
        frmMain->ErrorBoxWithDetail("The parallel port could not be opened",
                                    hint.empty() ? std::nullopt : std::optional<std::string>(hint));
    }
    return portReady;
}

std::string StartDirectoryFile(const std::string& name) {
    if (StartDirectory.empty()) return name;
    return (std::filesystem::path(StartDirectory) / name).string();
}

} // namespace tapster
