// A main window made of plain values: every widget of the widget table with its state, the log as a
// list of lines and Timer1 as two fields. The terminal front end and the tests build on it; they
// add the boxes, dialogs and event processing.
#pragma once

#include "core/main_form.h"
#include "core/widget_table.h"

#include <map>
#include <string>
#include <vector>

namespace tapster {

struct WidgetState {
    WidgetKind kind = WidgetKind::Label;
    std::string parent; // the container it sits in ("" for the window itself)
    std::string text;   // caption or edit text
    bool checked = false;
    int position = 0;
    int minimum = 0;
    int maximum = 100;
    int tickInterval = 1;
    std::vector<std::string> items;
    bool visible = true;
    bool enabled = true;
};

class WidgetStore : public MainForm {
  public:
    WidgetStore();

    // Whether a widget of that name exists, and its kind.
    bool Has(std::string_view name) const;
    WidgetKind KindOf(std::string_view name) const;
    // Names of all widgets, in the order of the window's layout.
    const std::vector<std::string>& Names() const { return order_; }
    // True when the widget and every container around it are enabled and visible.
    bool Usable(std::string_view name) const;
    // The whole log.
    const std::vector<std::string>& LogLines() const { return log_; }

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
    void Repaint(std::string_view) override {}

    void LogLine(const std::string& line) override;
    std::string LastLogLine() override;
    void ReplaceLastLogLine(const std::string& line) override;

    bool TimerEnabled() override { return timerEnabled_; }
    void SetTimerEnabled(bool enabled) override { timerEnabled_ = enabled; }
    int TimerInterval() override { return timerInterval_; }
    void SetTimerInterval(int ms) override { timerInterval_ = ms; }

  protected:
    WidgetState& At(std::string_view name);
    const WidgetState& At(std::string_view name) const;

  private:
    void Add(const std::string& name, WidgetState state);

    std::map<std::string, WidgetState, std::less<>> widgets_;
    std::vector<std::string> order_;
    std::vector<std::string> log_;
    bool timerEnabled_ = false;
    int timerInterval_ = 1000;
};

} // namespace tapster
