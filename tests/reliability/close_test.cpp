// Closing the window while a command runs, and answering Yes to abort it: inside a wait, a block
// scan, an agent wait and a question box. The window stays until the command has unwound, the
// command ends as an abort would end it, an open dump keeps whole blocks, and nothing is reported
// done that was not.
#include "gui_session.h"

#include <QAbstractButton>

namespace tapster::test {
namespace {

class CloseWindow : public GuiSession {
  protected:
    // Closes the window at the first keep-alive point at which `when` holds.
    void CloseWhen(std::function<bool()> when) {
        atKeepAlive = [this, when, closed = false](int) mutable {
            if (closed || !when()) return;
            closed = true;
            answers.push_back(::tapster::test::Press(QMessageBox::Yes)); // abort and close
            window->close();
            EXPECT_TRUE(window->isVisible()) << "closed under a running command";
        };
    }
    bool LastLineStarts(const std::string& prefix) {
        const std::vector<std::string> log = Log();
        return !log.empty() && log.back().rfind(prefix, 0) == 0;
    }
    // The window is gone, and the command left it idle with the TAP reset.
    void ExpectClosedCleanly() {
        EXPECT_FALSE(window->isVisible()) << "the window did not close after the command";
        EXPECT_TRUE(Idle());
        EXPECT_FALSE(TapReady);
        EXPECT_EQ(Log().back(), "Reseting TAP ... Done.");
    }
};

TEST_F(CloseWindow, InsideTakeTrapsWaitTheCommandFinishesFirst) {
    WriteFile("fl4_trap.bin", 484);
    Press("cmdLoadTrap");
    Press("cmdInstTrap");
    const size_t mark = Mark();
    CloseWhen([this] { return LastLineStarts("Setting Trap on interrupt..."); });
    Press("cmdTakeTrap");
    EXPECT_TRUE(LoggedSince(mark, "Trapped status :"));
    ExpectClosedCleanly();
}

TEST_F(CloseWindow, InsideTheRomDumpTheFileKeepsWholeBlocksAndNoDone) {
    const size_t mark = Mark();
    CloseWhen([this] { return window->Form().Visible("lblAdr") && points > 40; });
    Press("cmdReadRom");
    EXPECT_TRUE(LoggedSince(mark, "Read memory Error !!!"));
    EXPECT_FALSE(LoggedSince(mark, "Done. See file intRom.bin at current directory."));
    const auto size = std::filesystem::file_size(Path("intRom.bin"));
    EXPECT_EQ(size % 256, 0u);
    EXPECT_GT(size, 0u);
    EXPECT_LT(size, 0x20000u);
    ExpectClosedCleanly();
}

TEST_F(CloseWindow, InsideReadToFileTheFileKeepsWholeBlocks) {
    window->Form().SetText("txtFromAddr", "40000000");
    window->Form().SetText("txtFlashLen", "20000");
    answers.push_back(ChooseFile(Path("dump.bin")));
    const size_t mark = Mark();
    CloseWhen([this] { return window->Form().Visible("lblAdr") && points > 40; });
    Press("cmdReadToFile");
    EXPECT_TRUE(LoggedSince(mark, "Error reading memory!!!"));
    const auto size = std::filesystem::file_size(Path("dump.bin"));
    EXPECT_EQ(size % 256, 0u);
    EXPECT_LT(size, 0x20000u);
    ExpectClosedCleanly();
}

TEST_F(CloseWindow, InsideAnAgentWaitTheWriteStopsAndIsNotDone) {
    TakeAgent();
    WriteFile("image.bin", 0x3000);
    window->Form().SetText("txtFromAddr", "7FE20000");
    window->Form().SetText("txtFlashLen", "3000");
    answers.push_back(ChooseFile(Path("image.bin")));
    answers.push_back(::tapster::test::Press(QMessageBox::Ok));
    const size_t mark = Mark();
    CloseWhen([this] { return LastLineStarts("Waiting for release ..."); });
    Press("cmdWriteFlash");
    EXPECT_TRUE(LoggedSince(mark, "Flash programming NOT complete !!!"));
    EXPECT_FALSE(LoggedSince(mark, "Done."));
    ExpectClosedCleanly();
}

// The Abort question is open when the window is closed: the close counts as giving up the wait.
TEST_F(CloseWindow, InsideTheAbortQuestionTheWaitIsGivenUp) {
    TakeAgent();
    answers.push_back(::tapster::test::Press(QMessageBox::Ok)); // the erase warning
    bool asked = false;
    atKeepAlive = [this, &asked](int) {
        if (asked || !LastLineStarts("Waiting for release ...")) return;
        asked = true;
        answers.push_back([this](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr || box->text() != "Wait for normal termination ?") return false;
            window->close();
            answers.push_back(::tapster::test::Press(QMessageBox::Yes)); // abort and close
            box->button(QMessageBox::Yes)->click();
            return true;
        });
        Button("cmdCancel")->click();
    };
    const size_t mark = Mark();
    Press("cmdChipErase");
    EXPECT_TRUE(asked);
    EXPECT_TRUE(LoggedSince(mark, "Flash erasing NOT complete !!!"));
    EXPECT_TRUE(LoggedSince(mark, "Error clearing flash !!!"));
    EXPECT_FALSE(LoggedSince(mark, "Done."));
    ExpectClosedCleanly();
}

// A close while the command's own question is open waits for the answer; what the command then
// does is really done before the window goes.
TEST_F(CloseWindow, InsideAQuestionBoxTheAnswerStillCounts) {
    TakeAgent();
    answers.push_back([this](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) return false;
        window->close();
        box->button(QMessageBox::Cancel)->click();
        return true;
    });
    const size_t mark = Mark();
    Press("cmdChipErase");
    EXPECT_EQ(Mark(), mark) << "a cancelled erase logged";
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(Idle());
}

} // namespace
} // namespace tapster::test
