// The MainForm seam over the real widgets of the main window: every command reaches a widget by
// its objectName, so the commands never see Qt.
#pragma once

#include "core/main_form.h"

#include <QHash>
#include <QPointer>
#include <QString>

class QObject;
class QWidget;
class QFileDialog;
class QPlainTextEdit;
class QTimer;

namespace tapster::ui {

class TfrmControl;

class QtMainForm : public MainForm {
  public:
    explicit QtMainForm(QWidget* window);

    // The control-register dialog, created after the main window (start-up order).
    void SetControlDialog(TfrmControl* dialog) { dialog_ = dialog; }

    // The widget (or timer) of that name. A name the window does not have is a programming error
    // and ends the program, as in the plain widget store.
    QObject* Find(std::string_view name);
    QWidget* Widget(std::string_view name);

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
    // Number of lines in the log.
    int LogLineCount() const { return logLines_; }

    void ErrorBox(const std::string& text) override;
    void ErrorBoxWithDetail(const std::string& text,
                            const std::optional<std::string>& detail) override;
    void ShowStatus(const std::string& text) override;
    void SetToolTip(std::string_view name, const std::string& text) override;
    bool WarningQuestion(const std::string& text) override;
    bool YesNoQuestion(const std::string& text) override;
    bool ChooseFile(std::string& path) override;
    bool ShowControlDialog() override;

    void ProcessEvents() override;
    void HandleOneEvent() override;

    bool TimerEnabled() override;
    void SetTimerEnabled(bool enabled) override;
    int TimerInterval() override;
    void SetTimerInterval(int ms) override;

  private:
    QPlainTextEdit* Log();
    QFileDialog* OpenDialog();
    QTimer* Timer();

    QWidget* window_;
    TfrmControl* dialog_ = nullptr;
    QPointer<QFileDialog> openDialog_;
    QHash<QString, QPointer<QObject>> cache_;
    int logLines_ = 0;
};

} // namespace tapster::ui
