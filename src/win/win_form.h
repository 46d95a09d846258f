// The MainForm seam over the Win32 widgets of the main window: the commands reach each widget by
// its name, as in the Qt window; nothing below it sees the Win32 API. Own visibility and enabled
// state are kept per widget, and what Windows shows follows them through the containers.
#pragma once

#include "core/main_form.h"
#include "core/widget_table.h"

#include <windows.h>

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tapster::win {

class Win32Form : public MainForm {
  public:
    // The window's widget handles by row of the widget table, filled by the main window; the
    // radio buttons of selBrkCond kept beside them.
    std::array<HWND, kWidgetCount> handles{};
    std::vector<HWND> radios;
    HWND window = nullptr;
    HWND statusBar = nullptr;
    // Runs the handler a slider's or up-down's change starts (by the user or by a command).
    std::function<void(WidgetId)> onChange;
    // Shows the control-register dialog; true for "Send".
    std::function<bool()> controlDialog;

    // Reads the table's hidden flags into the widgets' own states.
    void ResetStates();
    HWND Handle(std::string_view name) const;
    // The position last seen, compared with the widget's own after a user's move: true and the
    // handler run when it changed.
    bool NoteMoved(WidgetId id);
    int LogLineCount() const { return static_cast<int>(log_.size()); }
    // Shows the label texts that changed since they were last shown.
    void FlushLabels();

    std::string Text(std::string_view name) override;
    void SetText(std::string_view name, const std::string& text) override;
    bool Checked(std::string_view name) override;
    void SetChecked(std::string_view name, bool checked) override;
    int Position(std::string_view name) override;
    void SetPosition(std::string_view name, int position) override;
    int Minimum(std::string_view name) override;
    int Maximum(std::string_view name) override;
    void SetRange(std::string_view name, int minimum, int maximum) override;
    int TickInterval(std::string_view name) override;
    void SetTickInterval(std::string_view name, int interval) override;
    std::vector<std::string> Items(std::string_view name) override;
    void AddItem(std::string_view name, const std::string& text) override;
    void SetItem(std::string_view name, int index, const std::string& text) override;
    void DeleteItem(std::string_view name, int index) override;
    bool Visible(std::string_view name) override;
    void SetVisible(std::string_view name, bool visible) override;
    bool Enabled(std::string_view name) override;
    void SetEnabled(std::string_view name, bool enabled) override;
    void Repaint(std::string_view name) override;

    void LogLine(const std::string& line) override;
    std::string LastLogLine() override;
    void ReplaceLastLogLine(const std::string& line) override;

    void ErrorBox(const std::string& text) override;
    void ErrorBoxWithDetail(const std::string& text,
                            const std::optional<std::string>& detail) override;
    void ShowStatus(const std::string& text) override;
    bool WarningQuestion(const std::string& text) override;
    bool YesNoQuestion(const std::string& text) override;
    bool ChooseFile(std::string& path) override;
    bool ShowControlDialog() override { return controlDialog && controlDialog(); }

    void ProcessEvents() override;
    void HandleOneEvent() override;

    bool TimerEnabled() override { return timerEnabled_; }
    void SetTimerEnabled(bool enabled) override;
    int TimerInterval() override { return timerInterval_; }
    void SetTimerInterval(int ms) override;

  private:
    size_t Index(std::string_view name) const;
    // Shows and enables every handle as its own state and its containers' allow.
    void Apply();
    int RawPosition(size_t index) const;
    std::pair<int, int> Range(size_t index) const;
    void Changed(size_t index, int before);
    int Box(const std::string& text, UINT style);
    // True at most once per kEventPeriodMs since `last`, which it then moves on.
    static bool Due(DWORD& last);
    void SetLabel(size_t index, const std::string& text);

    static constexpr DWORD kEventPeriodMs = 20;
    static constexpr int kProgressSteps = 200;

    std::array<bool, kWidgetCount> visible_{};
    std::array<bool, kWidgetCount> enabled_{};
    std::array<int, kWidgetCount> ticks_{};
    std::array<int, kWidgetCount> seen_{}; // last position of a slider or up-down
    std::vector<std::string> log_;
    bool timerEnabled_ = false;
    int timerInterval_ = 1000;
    std::wstring lastFile_;
    int progress_ = 0;
    int progressStep_ = -1;
    int progressLow_ = 0;
    int progressHigh_ = 100;
    DWORD lastEvents_ = 0;
    DWORD lastRepaint_ = 0;
    DWORD lastLabels_ = 0;
    std::array<std::string, kWidgetCount> labels_{};
    std::array<bool, kWidgetCount> shown_{};
    bool flushTimer_ = false;
};

// The id of the timer that stands for Timer1, and of the one that shows changed labels.
inline constexpr UINT_PTR kTimer1 = 1;
inline constexpr UINT_PTR kFlushTimer = 2;

} // namespace tapster::win
