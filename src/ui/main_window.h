// The main window frmMain: every command widget on four pages, the log, the CPU speed and the
// progress display. Its slots forward to the commands in ops; the commands reach the widgets
// through the QtMainForm it owns.
#pragma once

#include "ui/qt_main_form.h"

#include <QMainWindow>

#include <functional>

class QLabel;

namespace tapster::ui {

class JobDialog;
class TfrmControl;

class TfrmMain : public QMainWindow {
    Q_OBJECT

  public:
    // Builds every widget, becomes the window the commands talk to (tapster::frmMain) and runs
    // the start-up handler FormCreate.
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Asked when the window is closed while a command runs.
    static constexpr const char* kAbortAndCloseQuestion =
        "A command is still running.\nAbort it and close the window?";

    QtMainForm& Form() { return form_; }
    // The control-register dialog, created after this window.
    void SetControlDialog(TfrmControl* dialog) { form_.SetControlDialog(dialog); }
    // Names what stands behind the port registers, in the status bar.
    void SetBackendName(const QString& name);

    // Runs one handler. Handlers nest (the Abort button and timer ticks run inside a command's
    // waits); a close asked for meanwhile takes effect when the outermost one has returned.
    void RunCommand(const std::function<void()>& handler);
    bool CommandRunning() const { return depth_ > 0; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildWindow();
    void Wire();
    // A click inside another command's wait: refused with a beep and a word in the status bar,
    // so that no command runs inside another.
    void RunRefusedWhileBusy(const std::function<void()>& handler);
    void AskToAbortAndClose();
    // "Program and verify…": the flash job's dialog.
    void OpenJobDialog();

    QtMainForm form_;
    QLabel* backend_ = nullptr;
    JobDialog* job_ = nullptr;
    int depth_ = 0;
    bool closeAsked_ = false;   // the abort question is on its way
    bool closePending_ = false; // answered Yes: close once the command has ended
};

} // namespace tapster::ui
