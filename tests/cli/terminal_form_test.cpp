// The terminal window: stdout stays equal to the log (dots in place), boxes and dialogs answer
// from their queues or stop the run, "Abort !" is pressed at the chosen keep-alive point, and
// Timer1 runs on virtual time.
#include "cli/terminal_form.h"
#include "port/platform.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace tapster::cli {
namespace {

std::string Contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    std::fseek(file, 0, SEEK_END);
    return text;
}

class TerminalFormTest : public ::testing::Test {
  protected:
    TerminalFormTest() : out(std::tmpfile()), err(std::tmpfile()), form(out, err) {
        form.UseVirtualTime(true);
    }
    ~TerminalFormTest() override {
        form.UseVirtualTime(false);
        std::fclose(out);
        std::fclose(err);
    }
    std::string Out() { return Contents(out); }
    std::string Err() { return Contents(err); }
    // The log as stdout shows it at the end of a run.
    std::string LogText() {
        std::string text;
        for (const std::string& line : form.LogLines())
            text += line + "\n";
        return text;
    }
    // Busy mode as the commands enter it: "Abort !" shown.
    void Busy(bool busy) { form.SetVisible("cmdCancel", busy); }

    std::FILE* out;
    std::FILE* err;
    TerminalForm form;
};

TEST_F(TerminalFormTest, LinesStreamAsWrittenAndTheWaitsDotsGoInPlace) {
    form.LogLine("Waiting for release ...");
    EXPECT_EQ(Out(), "Waiting for release ...") << "the line is out before the next one starts";
    form.ReplaceLastLogLine("Waiting for release ....");
    EXPECT_EQ(Out(), "Waiting for release ....") << "only the new dot was written";
    form.ReplaceLastLogLine("Waiting for release .....");
    form.LogLine(".");
    form.ReplaceLastLogLine("..");
    form.LogLine("Done.");
    form.Finish();
    EXPECT_EQ(Out(), LogText());
    EXPECT_EQ(Out(), "Waiting for release .....\n..\nDone.\n");
}

TEST_F(TerminalFormTest, AReplacementThatIsNotAnExtensionGoesOnANewLine) {
    form.LogLine("abc");
    form.ReplaceLastLogLine("xyz");
    form.Finish();
    EXPECT_EQ(form.LastLogLine(), "xyz");
    EXPECT_EQ(Out(), "abc\nxyz\n");
}

TEST_F(TerminalFormTest, APrintClosesTheOpenLogLineAndDotsStillFollowTheLog) {
    form.LogLine("one");
    form.PrintLine("lblSpeed=2400");
    form.LogLine("two");
    form.ReplaceLastLogLine("two.");
    form.Finish();
    EXPECT_EQ(Out(), "one\nlblSpeed=2400\ntwo.\n");
}

TEST_F(TerminalFormTest, FinishOnAnEmptyLogWritesNothing) {
    form.Finish();
    EXPECT_EQ(Out(), "");
}

TEST_F(TerminalFormTest, ErrorBoxesGoToStderrAndFailTheRun) {
    EXPECT_FALSE(form.Failed());
    form.ErrorBox("Wrong Data length value !!!");
    EXPECT_EQ(Err(), "error: Wrong Data length value !!!\n");
    EXPECT_EQ(Out(), "") << "stdout holds only the log";
    EXPECT_TRUE(form.Failed());
    EXPECT_EQ(form.ErrorBoxCount(), 1);
}

TEST_F(TerminalFormTest, QuestionsTakeQueuedAnswersInOrder) {
    form.QueueAnswer(true);
    form.QueueAnswer(false);
    EXPECT_TRUE(form.WarningQuestion("Now Flash will be rewrited!!!\n\rContinue ?"));
    EXPECT_FALSE(form.YesNoQuestion("Wait for normal termination ?"));
    EXPECT_FALSE(form.Failed());
    EXPECT_EQ(form.PendingAnswers(), 0u);
}

TEST_F(TerminalFormTest, AQuestionWithNothingQueuedIsCancelledAndFailsTheRun) {
    EXPECT_FALSE(form.WarningQuestion("Now Block data will be erased !!!\n\rContinue ?"));
    EXPECT_TRUE(form.Failed());
    EXPECT_EQ(Err(), "error: no answer queued for: Now Block data will be erased !!! Continue ?\n");
    EXPECT_EQ(form.ErrorBoxCount(), 0) << "not an error box of the window";
}

TEST_F(TerminalFormTest, FileDialogsTakeQueuedPathsAndAnEmptyOneCancels) {
    form.QueueFile("image.bin");
    form.QueueFile("");
    std::string path;
    EXPECT_TRUE(form.ChooseFile(path));
    EXPECT_EQ(path, "image.bin");
    EXPECT_FALSE(form.ChooseFile(path));
    EXPECT_FALSE(form.Failed());
    EXPECT_FALSE(form.ChooseFile(path));
    EXPECT_TRUE(form.Failed());
    EXPECT_NE(Err().find("error: no answer queued for: the file dialog"), std::string::npos);
}

TEST_F(TerminalFormTest, TheControlDialogSendsTheQueuedValueOrCancels) {
    std::vector<uint32_t> sent;
    form.onDialogSend = [&](uint32_t v) { sent.push_back(v); };
    form.QueueDialog(0xC8000000u);
    form.QueueDialog(std::nullopt);
    EXPECT_TRUE(form.ShowControlDialog());
    EXPECT_FALSE(form.ShowControlDialog());
    EXPECT_EQ(sent, std::vector<uint32_t>{0xC8000000u});
    EXPECT_FALSE(form.Failed());
    EXPECT_FALSE(form.ShowControlDialog());
    EXPECT_TRUE(form.Failed());
}

TEST_F(TerminalFormTest, AbortIsPressedAtTheNthKeepAlivePointOfTheNextCommandWithItsAnswer) {
    std::vector<int> pressedAt;
    std::vector<bool> answers;
    form.onAbortClick = [&] {
        pressedAt.push_back(form.KeepAlivePoints());
        answers.push_back(form.YesNoQuestion("Wait for normal termination ?"));
    };
    form.QueueAnswer(true); // belongs to a later question, not to the abort
    form.ArmAbort(false, 3);
    form.BeginCommand();
    Busy(true);
    for (int i = 0; i < 6; ++i)
        form.ProcessEvents();
    Busy(false);
    EXPECT_TRUE(form.EndCommand());
    EXPECT_EQ(pressedAt, std::vector<int>{3});
    EXPECT_EQ(answers, std::vector<bool>{false});
    EXPECT_EQ(form.PendingAnswers(), 1u) << "the queued answer is left for its own question";
    EXPECT_FALSE(form.Failed());

    // Armed once: the command after it runs without an abort.
    form.BeginCommand();
    Busy(true);
    for (int i = 0; i < 6; ++i)
        form.HandleOneEvent();
    EXPECT_TRUE(form.EndCommand());
    EXPECT_EQ(pressedAt.size(), 1u);
}

TEST_F(TerminalFormTest, AnAbortNotReachedIsReportedAndDropped) {
    int presses = 0;
    form.onAbortClick = [&] { ++presses; };
    form.ArmAbort(true, 10);
    form.BeginCommand();
    Busy(true);
    form.ProcessEvents();
    EXPECT_FALSE(form.EndCommand());
    form.BeginCommand();
    for (int i = 0; i < 20; ++i)
        form.ProcessEvents();
    EXPECT_TRUE(form.EndCommand());
    EXPECT_EQ(presses, 0);
}

TEST_F(TerminalFormTest, AbortIsNotPressedWhileTheButtonIsHidden) {
    int presses = 0;
    form.onAbortClick = [&] { ++presses; };
    form.ArmAbort(false, 1);
    form.BeginCommand();
    form.ProcessEvents(); // not in busy mode: "Abort !" is hidden
    form.EndCommand();
    EXPECT_EQ(presses, 0);
    EXPECT_NE(Err().find("not pressed"), std::string::npos);
}

TEST_F(TerminalFormTest, CtrlCPressesAbortAnsweredNoAtTheNextKeepAlivePoint) {
    std::vector<bool> answers;
    form.onAbortClick = [&] {
        answers.push_back(form.YesNoQuestion("Wait for normal termination ?"));
    };
    form.BeginCommand();
    Busy(true);
    EXPECT_FALSE(form.Interrupted());
    TerminalForm::interruptFlag = SIGINT;
    EXPECT_TRUE(form.Interrupted());
    form.ProcessEvents();
    EXPECT_EQ(answers, std::vector<bool>{false});
    // Pressed again at every point while it is shown: a wait or scan that starts after the
    // first press clears the flags it set, and must still end.
    form.ProcessEvents();
    EXPECT_EQ(answers, (std::vector<bool>{false, false}));
    Busy(false);
    form.ProcessEvents();
    EXPECT_EQ(answers.size(), 2u) << "pressed while hidden";
    form.EndCommand();
    EXPECT_TRUE(form.Interrupted());
    EXPECT_EQ(TerminalForm::interruptFlag, 0);
    EXPECT_EQ(form.StopCode(), 130);
}

TEST_F(TerminalFormTest, EachKeepAlivePointIsOneHundredMsPauseOfVirtualTime) {
    // DelayMs(100): wait while the deadline is not passed, processing events.
    uint32_t deadline = platform::GetTickCount() + 100;
    int points = 0;
    while (static_cast<int32_t>(deadline - platform::GetTickCount()) >= 0 && points < 1000) {
        form.ProcessEvents();
        ++points;
    }
    EXPECT_EQ(points, 1);
}

TEST_F(TerminalFormTest, Timer1FiresEveryIntervalWhileEnabled) {
    int ticks = 0;
    form.onTimer = [&] { ++ticks; };
    form.RunTimers(2000);
    EXPECT_EQ(ticks, 0) << "disabled";
    form.SetTimerInterval(300);
    form.SetTimerEnabled(true);
    form.RunTimers(1000);
    EXPECT_EQ(ticks, 3);
    form.RunTimers(200);
    EXPECT_EQ(ticks, 4) << "the 1200 ms tick";
    form.SetTimerEnabled(false);
    form.RunTimers(5000);
    EXPECT_EQ(ticks, 4);
}

TEST_F(TerminalFormTest, Timer1AlsoFiresInsideACommandsWaits) {
    int ticks = 0;
    form.onTimer = [&] { ++ticks; };
    form.SetTimerInterval(500);
    form.SetTimerEnabled(true);
    for (int i = 0; i < 10; ++i) // ten pauses of just over 100 ms
        form.ProcessEvents();
    EXPECT_EQ(ticks, 2);
}

TEST_F(TerminalFormTest, ATimerHandlerThatProcessesEventsDoesNotReenter) {
    int depth = 0, maxDepth = 0, ticks = 0;
    form.onTimer = [&] {
        ++ticks;
        maxDepth = std::max(maxDepth, ++depth);
        for (int i = 0; i < 10; ++i)
            form.ProcessEvents();
        --depth;
    };
    form.SetTimerInterval(100);
    form.SetTimerEnabled(true);
    form.RunTimers(1000);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_GT(ticks, 0);
}

} // namespace
} // namespace tapster::cli
