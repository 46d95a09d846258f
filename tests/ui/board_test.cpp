// The window on the simulated board, as a user drives it: buttons clicked, the log read back.
// And the program's start-up options.
#include "gui_support.h"

#include "app/startup.h"
#include "ops/dcu_ctrl.h"
#include "ops/services.h"
#include "port/platform.h"
#include "process_state.h"
#include "ui/control_dialog.h"
#include "ui/job_dialog.h"
#include "ui/main_window.h"
#include "window_working_order.h"
#include <QCheckBox>
#include <QFileDialog>
#include <QTabWidget>
#include <deque>
#include <filesystem>
#include <fstream>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace tapster::test {
namespace {

class BoardWindowTest : public GuiTest {
  protected:
    void SetUp() override {
        GuiTest::SetUp();
        // The commands wait on the real tick count here: the Qt window does not drive the
        // virtual clock.
        platform::SetClock(nullptr);
        BackendOptions options;
        options.simulate = true;
        std::string error;
        backend = CreateBackend(options, error);
        ASSERT_NE(backend, nullptr) << error;
    }
    void TearDown() override {
        SetPortBackend(nullptr);
        backend.reset();
        GuiTest::TearDown();
    }
    QStringList Log(ui::TfrmMain& window) {
        return window.findChild<QPlainTextEdit*>("Memo4")->toPlainText().split('\n');
    }
    std::unique_ptr<PortBackend> backend;
};

TEST_F(BoardWindowTest, CheckButtonFindsTheCableAndTheCpu) {
    ui::TfrmMain window;
    window.SetBackendName(QString::fromStdString(backend->Name()));
    EXPECT_TRUE(window.statusBar()->findChild<QLabel*>("lblBackend")->text().contains("simulated"));
    window.show();
    window.findChild<QPushButton*>("cmdDelay")->click();

    const QStringList log = Log(window);
    EXPECT_TRUE(log.contains("Checking JTAG hardware ...")) << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains("Short test result - -1"));
    EXPECT_TRUE(log.contains("Long test result - -1"));
    EXPECT_TRUE(log.filter("CPU type: STi55").size() == 1) << log.join('\n').toStdString();
    EXPECT_FALSE(log.contains("Check Your hardware !!! "));
    // The check never leaves the window busy.
    EXPECT_FALSE(window.Form().Visible("cmdCancel"));
    EXPECT_TRUE(window.Form().Enabled("Panel1"));
}

TEST_F(BoardWindowTest, MonitorStartsAndStopsFromItsButton) {
    ui::TfrmMain window;
    window.show();
    auto* start = window.findChild<QPushButton*>("cmdStartDCU");
    start->click();
    EXPECT_EQ(start->text(), "Stop");
    EXPECT_TRUE(window.Form().TimerEnabled());
    EXPECT_EQ(window.Form().TimerInterval(), 500);
    EXPECT_FALSE(window.Form().Enabled("Panel1")); // busy while it runs
    // The timer ticks from the event loop and fills the monitor edits from the board.
    QSignalSpy ticks(window.findChild<QTimer*>("Timer1"), &QTimer::timeout);
    for (int i = 0; i < 100 && ticks.count() < 2; ++i)
        QTest::qWait(50);
    ASSERT_GE(ticks.count(), 2);
    bool read = false;
    for (const char* edit : {"txtStatus", "txtControl", "txtWPAdr", "txtJTFrom", "txtJTIptr"})
        read = read || window.Form().Text(edit) != "00000000";
    EXPECT_TRUE(read);
    start->click();
    EXPECT_EQ(start->text(), "Start");
    EXPECT_FALSE(window.Form().TimerEnabled());
    EXPECT_TRUE(window.Form().Enabled("Panel1"));
    EXPECT_EQ(Log(window).back(), "Reseting TAP ... Done.");
}

// Answers the boxes and dialogs a command opens, in the order queued, from the modal's own loop.
class Answerer : public QObject {
  public:
    explicit Answerer(std::filesystem::path dir) : dir_(std::move(dir)) {
        QObject::connect(&poll_, &QTimer::timeout, this, [this] { Answer(); });
        poll_.start(20);
    }
    std::deque<std::string> queue;
    std::vector<std::string> unexpected;

  private:
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == last_) return;
        // A dialog kept for the next use (the file dialog) is answered again once it has closed.
        last_ = modal;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            QObject::connect(
                dialog, &QDialog::finished, this, [this] { last_ = nullptr; },
                Qt::SingleShotConnection);
        const std::string answer = queue.empty() ? std::string() : queue.front();
        if (!queue.empty()) queue.pop_front();
        if (auto* box = qobject_cast<QMessageBox*>(modal);
            box && (answer == "ok" || answer == "no"))
            return box->button(answer == "ok" ? QMessageBox::Ok : QMessageBox::No)->click();
        if (auto* files = qobject_cast<QFileDialog*>(modal);
            files && answer.rfind("file:", 0) == 0) {
            // The user types the full name and presses Open.
            files->findChild<QLineEdit*>("fileNameEdit")
                ->setText(QString::fromStdString((dir_ / answer.substr(5)).string()));
            return static_cast<QDialog*>(files)->accept();
        }
        if (auto* control = qobject_cast<ui::TfrmControl*>(modal); control && answer == "dialog") {
            control->Box(kControlBits[0].bit)->click();
            return control->SendButton()->click();
        }
        auto* box = qobject_cast<QMessageBox*>(modal);
        unexpected.push_back(box != nullptr ? box->text().toStdString() : "a dialog");
        qobject_cast<QDialog*>(modal)->reject();
    }
    std::filesystem::path dir_;
    QTimer poll_;
    QPointer<QWidget> last_;
};

TEST(QtWindow, RunsTheUsualWorkingOrderThroughItsWidgets) {
    namespace fs = std::filesystem;
    ResetProcessState();
    const fs::path dir = fs::temp_directory_path() / "tapster_qt_window";
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(fs::path(TAPSTER_SIM_DIR) / "fl4_trap.bin", dir / "fl4_trap.bin");
    std::ofstream(dir / "image.bin", std::ios::binary) << WorkingImage();
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    WorkingOrderClock clock;
    platform::SetClock(&clock);
    BackendOptions options;
    options.simulate = true;
    std::string error;
    std::unique_ptr<PortBackend> backend = CreateBackend(options, error);
    ASSERT_NE(backend, nullptr) << error;
    {
        ui::TfrmMain window;
        ui::TfrmControl dialog;
        window.SetControlDialog(&dialog);
        window.show();
        Answerer answerer(dir);
        bool abortArmed = false;
        clock.atTick = [&] {
            if (abortArmed && AtAgentWait(window.Form())) {
                abortArmed = false;
                window.findChild<QPushButton*>("cmdCancel")->click();
            }
        };
        for (const WorkingStep& step : WorkingOrder()) {
            if (step.text != nullptr) {
                window.findChild<QLineEdit*>(step.widget)->setText(step.text);
                continue;
            }
            answerer.queue.assign(step.answers.begin(), step.answers.end());
            abortArmed = step.abort;
            window.findChild<QPushButton*>(step.widget)->click();
            if (step.pumpMs > 0) QTest::qWait(step.pumpMs);
            EXPECT_TRUE(answerer.queue.empty()) << "boxes that never opened after " << step.widget;
            EXPECT_FALSE(abortArmed) << "no wait in " << step.widget;
        }
        clock.atTick = nullptr;
        EXPECT_TRUE(answerer.unexpected.empty()) << answerer.unexpected.front();
        EXPECT_EQ(window.Form().Text("lblFlashCode"), "Flash IDCODE 0001.2249");
        std::vector<std::string> log;
        for (const QString& line :
             window.findChild<QPlainTextEdit*>("Memo4")->toPlainText().split('\n'))
            log.push_back(line.toStdString());
        EXPECT_EQ(log, ReadLogLines(TAPSTER_WORKING_ORDER_LOG));
    }
    std::ifstream back(dir / "back.bin", std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(back), {}) == WorkingImage())
        << "the file read back differs from the one written";
    fs::current_path(before);
    platform::SetClock(nullptr);
    SetPortBackend(nullptr);
    ResetProcessState();
}

// "Program and verify…" from the Flash menu: the job finds the built agent, names the chip in
// the status bar, programs the image, compares it and ends with the verdict box.
TEST_F(BoardWindowTest, ProgramAndVerifyFromTheFlashMenu) {
    ui::TfrmMain window;
    window.show();
    StartDirectory = TAPSTER_SIM_DIR; // the built agent images
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString image = dir.filePath("image.bin");
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray bytes(0x3000, 0);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + 0x11);
    file.write(bytes);
    file.close();

    // The "Continue ?" question and the verdict box, as they come.
    QString verdict;
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        if (box->objectName() == "JobVerdict") verdict = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    boxes.start(10);
    WhenModalOpens([&](QWidget* modal) {
        auto* job = qobject_cast<ui::JobDialog*>(modal);
        ASSERT_NE(job, nullptr);
        job->findChild<QLineEdit*>("txtJobImage")->setText(image);
        job->findChild<QLineEdit*>("txtJobAt")->setText("7FE20000");
        job->findChild<QPushButton*>("cmdJobStart")->click();
        job->reject();
    });
    window.findChild<QAction*>("actProgramJob")->trigger();
    EXPECT_TRUE(verdict.startsWith("VERIFIED: 12 KiB at 7FE20000")) << verdict.toStdString();
    const QString found = window.findChild<QLabel*>("lblStatus")->text();
    EXPECT_TRUE(found.startsWith("Found ")) << found.toStdString();
    EXPECT_TRUE(window.Form().Enabled("Panel5"));
    EXPECT_FALSE(window.Form().Visible("cmdCancel"));
    // The agent the job left running answers the page's "Check", which names the chip too.
    window.findChild<QPushButton*>("cmdGetDevCode")->click();
    EXPECT_TRUE(window.Form().Visible("lblFlashCode"));
    const QString chip = window.findChild<QLabel*>("lblFlashCode")->toolTip();
    EXPECT_FALSE(chip.isEmpty());
    EXPECT_EQ(found, "Found " + chip);
}

int RunProgram(const QStringList& args, QString& errors) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(TAPCHECK_PATH, args);
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished();
        return -1;
    }
    errors = QString::fromLocal8Bit(program.readAllStandardError());
    return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
}

TEST(TapcheckProgram, RefusesAnUnknownOption) {
    QString errors;
    EXPECT_EQ(RunProgram({"--bogus"}, errors), 2);
    EXPECT_TRUE(errors.contains("--bogus")) << errors.toStdString();
}

TEST(TapcheckProgram, RefusesAPortItCannotCreateInsteadOfSimulating) {
    QString errors;
    EXPECT_EQ(RunProgram({"--port=carrier-pigeon"}, errors), 2);
    EXPECT_TRUE(errors.contains("carrier-pigeon")) << errors.toStdString();
}

TEST(TapcheckProgram, RefusesAPresetFileThatDoesNotExist) {
    QString errors;
    EXPECT_EQ(RunProgram({"--simulate=/nonexistent/preset.json"}, errors), 2);
    EXPECT_FALSE(errors.isEmpty());
}

TEST(TapcheckProgram, HelpNamesTheBackendOptions) {
    QProcess program;
    program.start(TAPCHECK_PATH, {"--help"});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    EXPECT_TRUE(out.contains("--simulate")) << out.toStdString();
    EXPECT_TRUE(out.contains("--port")) << out.toStdString();
}

} // namespace
} // namespace tapster::test
