// The MainForm seam over the real widgets: what the commands read and write, the log, the boxes
// and dialogs, the timer, and closing the window while a command runs.
#include "gui_support.h"

#include "jtag/agent_calls.h"
#include "ui/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>

#include <memory>
#include <string>

namespace tapster::test {
namespace {

using ui::TfrmMain;

class QtFormTest : public GuiTest {
  protected:
    void SetUp() override {
        GuiTest::SetUp();
        window = std::make_unique<TfrmMain>();
        form = &window->Form();
    }
    void TearDown() override {
        window.reset();
        GuiTest::TearDown();
    }
    std::unique_ptr<TfrmMain> window;
    ui::QtMainForm* form = nullptr;
};

TEST_F(QtFormTest, LogAppendsAndReplacesTheLastLine) {
    EXPECT_EQ(form->LastLogLine(), "");
    form->LogLine("Initializing JTAG ...");
    form->LogLine("Waiting");
    EXPECT_EQ(form->LastLogLine(), "Waiting");
    form->ReplaceLastLogLine(form->LastLogLine() + ".");
    form->ReplaceLastLogLine(form->LastLogLine() + ".");
    EXPECT_EQ(form->LastLogLine(), "Waiting..");
    // A replacement that is not an extension replaces the whole line.
    form->ReplaceLastLogLine("Done");
    form->LogLine("Reseting TAP ... Done.");
    auto* memo = window->findChild<QPlainTextEdit*>("Memo4");
    EXPECT_EQ(memo->toPlainText(), "Initializing JTAG ...\nDone\nReseting TAP ... Done.");
    EXPECT_EQ(form->LogLineCount(), 3);
}

TEST_F(QtFormTest, EmptyLinesAreLinesOfTheLog) {
    form->LogLine("");
    form->LogLine("");
    form->LogLine("x");
    auto* memo = window->findChild<QPlainTextEdit*>("Memo4");
    EXPECT_EQ(memo->toPlainText(), "\n\nx");
    EXPECT_EQ(memo->document()->blockCount(), 3);
    // Replacing before anything was logged writes the first line.
    TfrmMain other;
    other.Form().ReplaceLastLogLine("first");
    EXPECT_EQ(other.Form().LastLogLine(), "first");
    EXPECT_EQ(other.Form().LogLineCount(), 1);
}

TEST_F(QtFormTest, ALongDayOfLogKeepsEveryLineInOrder) {
    // 10,000 lines; every hundredth is followed by an agent wait that grows a line of dots.
    for (int i = 0; i < 10000; ++i) {
        form->LogLine("line " + std::to_string(i));
        if (i % 100 == 0) {
            form->LogLine("");
            for (int d = 0; d < 100; ++d)
                form->ReplaceLastLogLine(form->LastLogLine() + ".");
        }
    }
    auto* memo = window->findChild<QPlainTextEdit*>("Memo4");
    QTextDocument* doc = memo->document();
    ASSERT_EQ(doc->blockCount(), 10100);
    EXPECT_EQ(form->LogLineCount(), 10100);
    EXPECT_EQ(doc->findBlockByNumber(0).text(), "line 0");
    EXPECT_EQ(doc->findBlockByNumber(1).text(), QString(100, '.'));
    EXPECT_EQ(doc->findBlockByNumber(2).text(), "line 1");
    EXPECT_EQ(doc->findBlockByNumber(10099).text(), "line 9999");
    EXPECT_EQ(doc->lastBlock().text(), "line 9999");
    // Nothing trims the log and the user cannot type into it.
    EXPECT_EQ(doc->maximumBlockCount(), 0);
    EXPECT_TRUE(memo->isReadOnly());
}

TEST_F(QtFormTest, EditsCombosAndChecks) {
    EXPECT_EQ(form->Text("txtRAM"), "40000000");
    form->SetText("txtRAM", "40010000");
    EXPECT_EQ(window->findChild<QLineEdit*>("txtRAM")->text(), "40010000");

    // A free area found by the search is offered without changing what the user typed.
    form->SetText("lstTrapAddr", "80001000");
    form->AddItem("lstTrapAddr", "40020000");
    EXPECT_EQ(form->Text("lstTrapAddr"), "80001000");
    EXPECT_EQ(form->Items("lstTrapAddr"), (std::vector<std::string>{"80000800", "40020000"}));
    form->SetPosition("lstTrapAddr", 1);
    EXPECT_EQ(form->Text("lstTrapAddr"), "40020000");

    form->SetChecked("chk0", true);
    EXPECT_TRUE(form->Checked("chk0"));
    form->SetVisible("lblFlashCode", true);
    form->SetText("lblFlashCode", "0089 0018");
    EXPECT_TRUE(form->Visible("lblFlashCode"));
    EXPECT_EQ(form->Text("lblFlashCode"), "0089 0018");
    form->SetText("cmdStartDCU", "Stop");
    EXPECT_EQ(window->findChild<QPushButton*>("cmdStartDCU")->text(), "Stop");
}

TEST_F(QtFormTest, BatchListPositionIsItsSelection) {
    auto* list = window->findChild<QListWidget*>("lstBatch");
    EXPECT_EQ(form->Position("lstBatch"), -1);
    // Focus alone gives a list a current item but no selection.
    list->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    EXPECT_EQ(form->Position("lstBatch"), -1);
    list->setCurrentRow(2, QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(form->Position("lstBatch"), 2);
    form->SetItem("lstBatch", 2, "00020000");
    EXPECT_EQ(form->Items("lstBatch")[2], "00020000");
    EXPECT_EQ(form->Position("lstBatch"), 2);
    form->DeleteItem("lstBatch", 2);
    EXPECT_EQ(form->Items("lstBatch"),
              (std::vector<std::string>{"C8000000", "C0000000", "20000000"}));
    EXPECT_EQ(form->Position("lstBatch"), -1);
    form->AddItem("lstBatch", "80000000");
    EXPECT_EQ(form->Items("lstBatch").back(), "80000000");
    form->SetPosition("lstBatch", 1);
    EXPECT_EQ(form->Position("lstBatch"), 1);
    form->SetPosition("lstBatch", -1);
    EXPECT_EQ(form->Position("lstBatch"), -1);
}

TEST_F(QtFormTest, RadioGroupPosition) {
    EXPECT_EQ(form->Position("selBrkCond"), 0);
    form->SetPosition("selBrkCond", 3);
    EXPECT_EQ(form->Position("selBrkCond"), 3);
    form->SetPosition("selBrkCond", -1);
    EXPECT_EQ(form->Position("selBrkCond"), -1);
    form->SetPosition("selBrkCond", 1);
    EXPECT_EQ(form->Position("selBrkCond"), 1);
}

TEST_F(QtFormTest, PollEditAndUpDownMoveTogether) {
    form->SetText("txtPoll", "800");
    EXPECT_EQ(form->Position("trkPoll"), 800);
    form->SetPosition("trkPoll", 300);
    EXPECT_EQ(form->Text("txtPoll"), "300");
    // The up-down keeps its range.
    form->SetPosition("trkPoll", 5000);
    EXPECT_EQ(form->Position("trkPoll"), 1000);
    form->SetText("txtPoll", "abc");
    EXPECT_EQ(form->Position("trkPoll"), 1000);
}

TEST_F(QtFormTest, ProgressDisplayStaysInsideItsRange) {
    form->SetRange("ProgressBar1", 0, 1000);
    form->SetPosition("ProgressBar1", 756);
    EXPECT_EQ(form->Position("ProgressBar1"), 756);
    form->SetPosition("ProgressBar1", 1008); // the last 252-byte step passes the end
    EXPECT_EQ(form->Position("ProgressBar1"), 1000);
}

TEST_F(QtFormTest, EnabledIsTheWidgetsOwnState) {
    form->SetEnabled("Panel1", false);
    EXPECT_FALSE(form->Enabled("Panel1"));
    EXPECT_TRUE(form->Enabled("cmdDelay"));
    EXPECT_FALSE(form->Widget("cmdDelay")->isEnabled());
    form->SetEnabled("Panel1", true);
    EXPECT_TRUE(form->Widget("cmdDelay")->isEnabled());
}

struct SeenBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    QMessageBox::StandardButtons buttons;
};

// Opens the box through `ask`, records it and answers with `answer`.
template <class Ask> auto AnswerBox(QMessageBox::StandardButton answer, SeenBox& seen, Ask ask) {
    WhenModalOpens([answer, &seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        seen.icon = box->icon();
        seen.text = box->text();
        seen.buttons = box->standardButtons();
        box->button(answer)->click();
    });
    return ask();
}

TEST_F(QtFormTest, ErrorBoxHasTheErrorIconAndOk) {
    SeenBox seen;
    AnswerBox(QMessageBox::Ok, seen, [&] {
        form->ErrorBox("The parallel port could not be opened");
        return 0;
    });
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.text, "The parallel port could not be opened");
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
}

TEST_F(QtFormTest, WarningQuestionIsOkOrCancel) {
    SeenBox seen;
    EXPECT_TRUE(AnswerBox(QMessageBox::Ok, seen, [&] { return form->WarningQuestion("Sure ?"); }));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_FALSE(
        AnswerBox(QMessageBox::Cancel, seen, [&] { return form->WarningQuestion("Sure ?"); }));
}

TEST_F(QtFormTest, YesNoQuestionIsYesOrNo) {
    SeenBox seen;
    EXPECT_FALSE(AnswerBox(QMessageBox::No, seen,
                           [&] { return form->YesNoQuestion("Wait for normal termination ?"); }));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.text, "Wait for normal termination ?");
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(AnswerBox(QMessageBox::Yes, seen, [&] { return form->YesNoQuestion("?"); }));
}

TEST_F(QtFormTest, FileDialogAcceptsANameThatDoesNotExistYet) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("flash-dump.bin");
    WhenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->objectName(), "OpenDialog1");
        // The user types the full name of a file that does not exist yet and presses Open.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(target);
        static_cast<QDialog*>(dialog)->accept();
    });
    std::string path;
    ASSERT_TRUE(form->ChooseFile(path));
    EXPECT_EQ(QString::fromStdString(path), target);

    WhenModalOpens([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(form->ChooseFile(path));
}

TEST_F(QtFormTest, ClosingDuringACommandAbortsItAndClosesAfterwards) {
    window->show();
    bool stillOpenInside = false;
    window->RunCommand([&] {
        // The user closes the window while the command waits for the agent.
        window->close();
        QApplication::processEvents();
        stillOpenInside = window->isVisible();
        EXPECT_TRUE(AbortFlag);
        EXPECT_TRUE(StopRequest);
    });
    EXPECT_TRUE(stillOpenInside);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(QtFormTest, ClosingWhenIdleClosesAtOnce) {
    window->show();
    form->SetTimerEnabled(true); // the monitor may be running
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(form->TimerEnabled());
    EXPECT_FALSE(AbortFlag);
}

TEST_F(QtFormTest, MonitorStartIsRefusedInsideAnotherCommand) {
    window->show();
    window->RunCommand([&] {
        window->findChild<QPushButton*>("cmdStartDCU")->click();
        window->findChild<QPushButton*>("cmdChgCtrl")->click();
    });
    EXPECT_EQ(form->Text("cmdStartDCU"), "Start");
    EXPECT_EQ(form->LogLineCount(), 0);
}

} // namespace
} // namespace tapster::test
