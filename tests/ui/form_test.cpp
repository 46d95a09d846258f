// The MainForm seam over the real widgets: what the commands read and write, the log, the boxes
// and dialogs, the timer, and closing the window while a command runs.
#include "gui_support.h"

#include "jtag/agent_calls.h"
#include "ui/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
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

// The dialog of a file to be read takes an existing file; the one of a file to be written takes
// a new name and asks before it replaces a file.
TEST_F(QtFormTest, FileDialogsToReadAndToWrite) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString existing = dir.filePath("image.bin");
    ASSERT_TRUE(QFile(existing).open(QIODevice::WriteOnly));
    const struct {
        bool save;
        QString name;
        QMessageBox::StandardButton replace; // the answer to the replace question, if asked
        bool chosen;
    } cases[] = {
        {false, existing, QMessageBox::NoButton, true},
        {true, dir.filePath("flash-dump.bin"), QMessageBox::NoButton, true},
        {true, existing, QMessageBox::Yes, true},
        {true, existing, QMessageBox::No, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString() + (c.save ? " saved" : " opened"));
        bool asked = false;
        WhenModalOpens([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->objectName(), c.save ? "SaveDialog1" : "OpenDialog1");
            EXPECT_EQ(dialog->nameFilters(),
                      QStringList({"Binary images (*.bin)", "All files (*)"}));
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(c.name);
            if (c.replace != QMessageBox::NoButton) {
                WhenModalOpens([&](QWidget* box) {
                    asked = true;
                    qobject_cast<QMessageBox*>(box)->button(c.replace)->click();
                });
            }
            static_cast<QDialog*>(dialog)->accept();
            if (dialog->isVisible()) dialog->reject(); // kept the old file, then cancelled
        });
        std::string path;
        EXPECT_EQ(c.save ? form->ChooseSaveFile(path) : form->ChooseFile(path), c.chosen);
        if (c.chosen) {
            EXPECT_EQ(QString::fromStdString(path), c.name);
        }
        EXPECT_EQ(asked, c.replace != QMessageBox::NoButton);
    }
}

// Yes stops the command as "Abort !" answered No would and closes once it has ended; No lets it
// run on and keeps the window.
TEST_F(QtFormTest, ClosingDuringACommandAsksWhetherToAbortIt) {
    window->show();
    for (const bool abort : {false, true}) {
        SCOPED_TRACE(abort);
        AbortFlag = StopRequest = false;
        QString asked;
        bool openInside = false;
        window->RunCommand([&] {
            // The user closes the window while the command waits for the agent.
            WhenModalOpens([&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                ASSERT_NE(box, nullptr);
                asked = box->text();
                box->button(abort ? QMessageBox::Yes : QMessageBox::No)->click();
            });
            window->close();
            QApplication::processEvents();
            openInside = window->isVisible();
        });
        EXPECT_EQ(asked, TfrmMain::kAbortAndCloseQuestion);
        EXPECT_TRUE(openInside);
        EXPECT_EQ(AbortFlag, abort);
        EXPECT_EQ(StopRequest, abort);
        EXPECT_EQ(window->isVisible(), !abort);
    }
}

// Ctrl+S keeps the whole log in a file of the user's choice; the log itself gets no line.
TEST_F(QtFormTest, SaveLogAsWritesTheWholeLog) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.filePath("board7.log");
    form->LogLine("Initializing JTAG ...");
    form->LogLine("Reseting TAP ... Done.");
    auto* save = window->findChild<QAction*>("actSaveLog");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    WhenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
        static_cast<QDialog*>(dialog)->accept();
    });
    save->trigger();
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "Initializing JTAG ...\nReseting TAP ... Done.\n");
    EXPECT_EQ(form->LogLineCount(), 2);
    EXPECT_EQ(window->findChild<QLabel*>("lblStatus")->text(), "Log saved to " + name);
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
