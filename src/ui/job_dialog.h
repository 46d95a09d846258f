// "Program and verify…": the flash job of tapcheck-cli's `program` command behind a dialog of its
// own. The user names the image, where it goes and how to erase; the job checks the cable,
// starts the agent that suits the chip, erases, programs and compares, writing the buttons' log
// lines to the main window's log. The dialog shows the phase with its rate and time left, and
// ends with a verdict box.
#pragma once

#include "ops/flash_job.h"

#include <QDialog>
#include <QElapsedTimer>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tapster::ui {

class TfrmMain;

class JobDialog : public QDialog {
    Q_OBJECT

  public:
    explicit JobDialog(TfrmMain& window);

    // The request the fields describe; false with the message for the user when a field is bad.
    bool ReadRequest(FlashJobRequest& request, QString& error);

    // Closing is refused while the job runs: it ends by itself or by "Abort !".
    void reject() override;

    // "Program: 45 % at 29 KiB/s, 40 s left" for `done` of `total` bytes after `ms` milliseconds
    // of the phase; the phase's name alone while it has no size.
    static QString ProgressText(FlashJobPhase phase, uint32_t done, uint32_t total, qint64 ms);

  private:
    void Browse();
    void Start();
    void ShowProgress(const FlashJobProgress& progress);
    void ShowVerdict(const FlashJobOutcome& outcome);
    void SetRunning(bool running);

    TfrmMain& window_;
    QLineEdit* image_ = nullptr;
    QPushButton* browse_ = nullptr;
    QComboBox* base_ = nullptr;
    QLineEdit* at_ = nullptr;
    QComboBox* erase_ = nullptr;
    QCheckBox* verify_ = nullptr;
    QLabel* chip_ = nullptr;
    QLabel* phase_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* abort_ = nullptr;
    QPushButton* close_ = nullptr;
    QElapsedTimer phaseClock_;
    FlashJobPhase shownPhase_ = FlashJobPhase::Check;
    bool running_ = false;
};

} // namespace tapster::ui
