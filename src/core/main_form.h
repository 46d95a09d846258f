// The seam between the commands and the window.
//
// The commands read and write the main window's widgets by their names ("txtRAM", "cmdStartDCU",
// "ProgressBar1", ...), write the log, ask questions and let the window process its events. The Qt
// window, the terminal front end and the tests each implement this interface; nothing below it
// knows which one it talks to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tapster {

class MainForm {
  public:
    virtual ~MainForm() = default;

    // --- Widgets by name -------------------------------------------------------------------
    // Text of an edit or combo box, caption of a label, button or check box.
    virtual std::string Text(std::string_view name) = 0;
    virtual void SetText(std::string_view name, const std::string& text) = 0;
    // Check boxes.
    virtual bool Checked(std::string_view name) = 0;
    virtual void SetChecked(std::string_view name, bool checked) = 0;
    // Slider, up-down and progress bar position; radio group item index; list or combo box
    // selected index (-1 for none).
    virtual int Position(std::string_view name) = 0;
    virtual void SetPosition(std::string_view name, int position) = 0;
    // Range of a slider, up-down or progress bar.
    virtual int Minimum(std::string_view name) = 0;
    virtual int Maximum(std::string_view name) = 0;
    virtual void SetRange(std::string_view name, int minimum, int maximum) = 0;
    // Tick-mark interval of a slider.
    virtual int TickInterval(std::string_view name) = 0;
    virtual void SetTickInterval(std::string_view name, int interval) = 0;
    // Item lists of combo boxes, list boxes and radio groups.
    virtual std::vector<std::string> Items(std::string_view name) = 0;
    virtual void AddItem(std::string_view name, const std::string& text) = 0;
    virtual void SetItem(std::string_view name, int index, const std::string& text) = 0;
    virtual void DeleteItem(std::string_view name, int index) = 0;
    // Visibility and enabled state of any widget or container.
    virtual bool Visible(std::string_view name) = 0;
    virtual void SetVisible(std::string_view name, bool visible) = 0;
    virtual bool Enabled(std::string_view name) = 0;
    virtual void SetEnabled(std::string_view name, bool enabled) = 0;
    // Repaint one widget at once (the address label during block operations).
    virtual void Repaint(std::string_view name) = 0;

    // --- The log (Memo4) -------------------------------------------------------------------
    virtual void LogLine(const std::string& line) = 0;
    // The last line of the log ("" when empty) and its replacement in place.
    virtual std::string LastLogLine() = 0;
    virtual void ReplaceLastLogLine(const std::string& line) = 0;

    // --- Message boxes and dialogs ---------------------------------------------------------
    // Error icon, OK button.
    virtual void ErrorBox(const std::string& text) = 0;
    // The same box with why it came (a failed port claim's cause) under the fixed text; a front
    // end with no place for it shows the text alone.
    virtual void ErrorBoxWithDetail(const std::string& text,
                                    const std::optional<std::string>& detail) {
        (void)detail;
        ErrorBox(text);
    }
    // A message beyond the log (a chip's name, why an agent call failed, a hint while waiting):
    // the status bar of a window, stderr of the terminal. The log keeps only its own lines.
    virtual void ShowStatus(const std::string& text) { (void)text; }
    // A widget's tooltip (the chip's name on lblFlashCode); a front end without them ignores it.
    virtual void SetToolTip(std::string_view name, const std::string& text) {
        (void)name;
        (void)text;
    }
    // Warning icon, OK and Cancel; true for OK.
    virtual bool WarningQuestion(const std::string& text) = 0;
    // Question icon, Yes and No; true for Yes.
    virtual bool YesNoQuestion(const std::string& text) = 0;
    // OpenDialog1; true with a path, false when cancelled.
    virtual bool ChooseFile(std::string& path) = 0;
    // Shows the control-register dialog modally with the boxes as the dialog state holds them;
    // true when it closed with "Send" (the dialog state then holds the composed value).
    virtual bool ShowControlDialog() = 0;

    // --- Events ----------------------------------------------------------------------------
    // Let the window process all pending events (repaint, clicks on enabled controls, timer).
    virtual void ProcessEvents() = 0;
    // Let the window handle at most one pending event.
    virtual void HandleOneEvent() = 0;

    // --- Timer1 (the DCU monitor) ----------------------------------------------------------
    virtual bool TimerEnabled() = 0;
    virtual void SetTimerEnabled(bool enabled) = 0;
    virtual int TimerInterval() = 0;
    virtual void SetTimerInterval(int ms) = 0;
};

// The window the commands talk to. Set by the front end before the first command runs.
extern MainForm* frmMain;

// Appends one line to the log of frmMain.
void Log(const std::string& line);

} // namespace tapster
