// The DCU monitor, the control-register change and the batch list on the simulated board.
#include "board_session.h"
#include "core/hex.h"
#include "ops/dcu_ctrl.h"

namespace tapster::test {
namespace {

using Lines = std::vector<std::string>;
using Words = std::vector<uint32_t>;

const std::string kDash34(34, '-');
const std::string kDash42(42, '-');

class DcuMonitorTest : public BoardTest {
  protected:
    bool Busy() { return !form.Enabled("Panel1") && form.Visible("cmdCancel"); }
    bool Idle() { return form.Enabled("Panel1") && !form.Visible("cmdCancel"); }
    void StartMonitor() {
        cmdStartDCUClick();
        ASSERT_EQ(form.Text("cmdStartDCU"), "Stop");
        link->Clear();
    }
    void SetPoll(const std::string& text) { form.SetText("txtPoll", text); }
};

// --- Start, stop, interval ------------------------------------------------------------------

TEST_F(DcuMonitorTest, StartThenStop) {
    Start();
    size_t mark = Mark();
    int events = 0, busyEvents = 0;
    form.onEvent = [&](int) {
        ++events;
        busyEvents += Busy() ? 1 : 0;
    };
    cmdStartDCUClick();
    form.onEvent = nullptr;
    EXPECT_GT(events, 0);
    EXPECT_EQ(busyEvents, events) << "busy mode before the JTAG initialisation";
    EXPECT_EQ(form.LogFrom(mark), kInitLines);
    EXPECT_EQ(form.Text("cmdStartDCU"), "Stop");
    EXPECT_TRUE(form.TimerEnabled());
    EXPECT_EQ(form.TimerInterval(), 500);
    EXPECT_TRUE(Busy());
    EXPECT_TRUE(form.Enabled("GroupBox6"));

    mark = Mark();
    cmdStartDCUClick();
    EXPECT_EQ(form.LogFrom(mark), (Lines{kTapReset}));
    EXPECT_EQ(form.Text("cmdStartDCU"), "Start");
    EXPECT_FALSE(form.TimerEnabled());
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(form.errorBoxes.empty());
}

TEST_F(DcuMonitorTest, AFailedClaimLeavesTheMonitorAsItWas) {
    Start();
    StartMonitor();
    win::standin::FailCall("OpenSCManagerA", 5);
    const size_t mark = Mark();
    cmdStartDCUClick(); // the stop claims as well
    EXPECT_EQ(form.errorBoxes, (Lines{"The parallel port could not be opened"}));
    EXPECT_EQ(form.Text("cmdStartDCU"), "Stop");
    EXPECT_TRUE(form.TimerEnabled());
    EXPECT_TRUE(Busy());
    for (const std::string& line : form.LogFrom(mark))
        EXPECT_NE(line, kTapReset) << "the TAP is not reset";

    win::standin::ClearFailures();
    cmdStartDCUClick();
    EXPECT_EQ(form.Text("cmdStartDCU"), "Start");
    EXPECT_TRUE(Idle());
}

TEST_F(DcuMonitorTest, IntervalFollowsTheUpDownRunningOrStopped) {
    Start();
    SetPoll("300");
    trkPollClick();
    EXPECT_EQ(form.TimerInterval(), 300);
    EXPECT_FALSE(form.TimerEnabled());
    SetPoll("800");
    StartMonitor(); // the start takes the interval afresh
    EXPECT_EQ(form.TimerInterval(), 800);
    SetPoll("200");
    trkPollClick();
    EXPECT_EQ(form.TimerInterval(), 200);
    EXPECT_TRUE(form.TimerEnabled());
    EXPECT_EQ(form.Position("trkPoll"), 200);
}

TEST_F(DcuMonitorTest, IntervalOutsideTheRangeOrNotANumberIsClamped) {
    Start();
    struct Case {
        const char* text;
        int interval;
    } cases[] = {{"50", 100},    {"5000", 1000}, {"-3", 100}, {"99999999999999", 1000},
                 {" 700 ", 700}, {"abc", 700},   {"", 700},   {"0x200", 700},
                 {"1000", 1000}};
    for (const Case& c : cases) {
        SetPoll(c.text);
        trkPollClick();
        EXPECT_EQ(form.TimerInterval(), c.interval) << c.text;
        EXPECT_EQ(form.Position("trkPoll"), c.interval) << c.text;
        EXPECT_EQ(form.Text("txtPoll"), std::to_string(c.interval)) << c.text;
    }
}

// --- Ticks ----------------------------------------------------------------------------------

TEST_F(DcuMonitorTest, TicksFillTheEditsWithoutClaimOrEvents) {
    Start();
    StartMonitor();
    board->Bus().Write32(0x3004, 0x00400000); // a control value the CPU does not act on
    const size_t mark = Mark();
    const int events = form.events;
    const size_t claims = win::standin::Calls().size();

    Timer1Timer();
    const std::string iptr1 = form.Text("txtJTIptr");
    Timer1Timer();

    EXPECT_EQ(Mark(), mark);
    EXPECT_EQ(form.events, events);
    EXPECT_EQ(win::standin::Calls().size(), claims);
    EXPECT_EQ(form.Text("txtControl"), "00400000");
    EXPECT_EQ(form.Text("txtStatus"), Hex8(board->Bus().Read32(0x3000)));
    EXPECT_NE(form.Text("txtStatus"), "00000000");
    EXPECT_NE(form.Text("txtJTIptr"), iptr1) << "the running CPU moves its jump trace";
    EXPECT_EQ(link->reads.size(), 10u);
    EXPECT_EQ(link->writes.size(), 4u);
}

TEST_F(DcuMonitorTest, ATickWhileStoppedTouchesNothing) {
    Start();
    Timer1Timer();
    EXPECT_TRUE(link->reads.empty());
    EXPECT_EQ(form.Text("txtStatus"), "00000000");
}

// --- Control register from the monitor -----------------------------------------------------

TEST_F(DcuMonitorTest, ChangeControlOpensWithBits17UpAndSendsThem) {
    Start();
    StartMonitor();
    form.SetText("txtControl", "0003FFFF");
    form.dialogAnswers.push_back(true);
    form.onDialogShown = [this] {
        EXPECT_FALSE(form.TimerEnabled()) << "polling pauses while the dialog is open";
        for (int bit = 0; bit < 32; ++bit)
            EXPECT_EQ(frmControl.BoxChecked(bit), bit == 17) << bit;
        frmControl.cmdSendCtrlClick();
    };
    const size_t mark = Mark();
    cmdChangeCtrlClick();
    EXPECT_EQ(form.LogFrom(mark), (Lines{"Set DCU Control 00020000"}));
    EXPECT_EQ(link->WordsTo(0x3004), (Words{0x00020000}));
    EXPECT_TRUE(form.TimerEnabled());
    Timer1Timer();
    EXPECT_EQ(form.Text("txtControl"), "00020000");
}

TEST_F(DcuMonitorTest, SendingWithNoBoxWritesZero) {
    Start();
    StartMonitor();
    form.SetText("txtControl", "C0000000");
    form.dialogAnswers.push_back(true);
    form.onDialogShown = [] {
        for (const ControlBit& b : kControlBits)
            frmControl.SetBoxChecked(b.bit, false);
        frmControl.cmdSendCtrlClick();
    };
    cmdChangeCtrlClick();
    EXPECT_TRUE(form.Logged("Set DCU Control 00000000"));
    EXPECT_EQ(link->WordsTo(0x3004), (Words{0}));
}

TEST_F(DcuMonitorTest, CancelWhileRunningWritesNothingAndPollingResumes) {
    Start();
    StartMonitor();
    form.dialogAnswers.push_back(false);
    const size_t mark = Mark();
    cmdChangeCtrlClick();
    EXPECT_EQ(Mark(), mark);
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(form.TimerEnabled());
}

TEST_F(DcuMonitorTest, SendWhileStoppedWritesNothing) {
    Start();
    form.dialogAnswers.push_back(true);
    form.onDialogShown = [] { frmControl.cmdSendCtrlClick(); };
    const size_t mark = Mark();
    cmdChangeCtrlClick();
    EXPECT_EQ(Mark(), mark);
    EXPECT_TRUE(link->writes.empty());
    EXPECT_FALSE(form.TimerEnabled());
    EXPECT_TRUE(form.dialogAnswers.empty()) << "the dialog was shown";
}

// --- Another command in progress ------------------------------------------------------------

TEST_F(DcuMonitorTest, StartAndControlRefuseWhileAnotherCommandIsBusy) {
    Start();
    ASSERT_TRUE(TakeAgent());
    const std::string file = WriteFile("image.bin", 0x1000);
    form.SetText("txtFromAddr", "7FE00000");
    form.SetText("txtFlashLen", "1000");
    form.files.push_back(file);
    form.warningAnswers.push_back(true);
    form.onEvent = [this, pressed = false](int) mutable {
        if (pressed || form.LastLogLine().rfind("Waiting for release ...", 0) != 0) return;
        pressed = true;
        cmdStartDCUClick();
        cmdChangeCtrlClick(); // no dialog answer queued: it must not open
    };
    cmdWriteFlashClick();
    EXPECT_EQ(form.errorBoxes.size(), 2u);
    EXPECT_EQ(form.Text("cmdStartDCU"), "Start");
    EXPECT_FALSE(form.TimerEnabled());
    EXPECT_EQ(form.LogLines()[form.LogLines().size() - 2], "Done.");
    EXPECT_TRUE(Idle());

    // Idle again: the monitor starts.
    form.onEvent = nullptr;
    form.errorBoxes.clear();
    StartMonitor();
    EXPECT_TRUE(form.errorBoxes.empty());
}

TEST_F(DcuMonitorTest, AClickDuringTheStartsInitialisationIsIgnored) {
    Start();
    form.onEvent = [](int) { cmdStartDCUClick(); };
    const size_t mark = Mark();
    cmdStartDCUClick();
    form.onEvent = nullptr;
    EXPECT_EQ(form.LogFrom(mark), kInitLines);
    EXPECT_EQ(form.Text("cmdStartDCU"), "Stop");
    cmdStartDCUClick();
    EXPECT_TRUE(Idle());
}

// --- Batch list -----------------------------------------------------------------------------

TEST_F(DcuMonitorTest, EditingTheBatchList) {
    Start();
    // Add: the dialog opens clear.
    form.dialogAnswers = {true};
    form.onDialogShown = [] {
        for (const ControlBit& b : kControlBits)
            EXPECT_FALSE(frmControl.BoxChecked(b.bit));
        frmControl.SetBoxChecked(31, true);
        frmControl.SetBoxChecked(17, true);
        frmControl.cmdSendCtrlClick();
    };
    cmdAddRecClick();
    EXPECT_EQ(form.Items("lstBatch"),
              (Lines{"C8000000", "C0000000", "40000000", "20000000", "80020000"}));

    // Edit with no selection opens nothing.
    form.SetPosition("lstBatch", -1);
    form.onDialogShown = nullptr;
    cmdEditRecClick();
    cmdDelRecClick();
    EXPECT_EQ(form.Items("lstBatch").size(), 5u);

    // Edit the second item in place.
    form.SetPosition("lstBatch", 1);
    form.dialogAnswers = {true, false};
    form.onDialogShown = [] {
        EXPECT_TRUE(frmControl.BoxChecked(31));
        EXPECT_TRUE(frmControl.BoxChecked(30));
        EXPECT_FALSE(frmControl.BoxChecked(27));
        frmControl.SetBoxChecked(29, true);
        frmControl.cmdSendCtrlClick();
    };
    cmdEditRecClick();
    form.onDialogShown = nullptr;
    cmdEditRecClick(); // cancelled: unchanged
    EXPECT_EQ(form.Items("lstBatch"),
              (Lines{"C8000000", "E0000000", "40000000", "20000000", "80020000"}));

    form.SetPosition("lstBatch", 0);
    cmdDelRecClick();
    EXPECT_EQ(form.Items("lstBatch"), (Lines{"E0000000", "40000000", "20000000", "80020000"}));
    EXPECT_TRUE(link->writes.empty());
}

TEST_F(DcuMonitorTest, RunBatchWritesEveryItemWithAReport) {
    Start();
    bool busyDuringWaits = true;
    // Virtual milliseconds spent with the 34-dash line last: the wait between write and report.
    uint32_t settleMs = 0, lastTicks = form.clock.ticks;
    form.onEvent = [&](int) {
        busyDuringWaits = busyDuringWaits && Busy();
        if (form.LastLogLine() == kDash34) settleMs += form.clock.ticks - lastTicks;
        lastTicks = form.clock.ticks;
    };
    const size_t mark = Mark();
    cmdRunBatchClick();
    form.onEvent = nullptr;
    EXPECT_GE(settleMs, 4u * 100u);
    EXPECT_LT(settleMs, 4u * 200u) << "one wait of 100 ms per item";

    EXPECT_EQ(link->WordsTo(0x3004), (Words{0xC8000000, 0xC0000000, 0x40000000, 0x20000000}));
    const Lines log = form.LogFrom(mark);
    ASSERT_EQ(log.size(), 5u + 4u * 11u + 1u);
    EXPECT_EQ(Lines(log.begin(), log.begin() + 5), kInitLines);
    const char* items[] = {"C8000000", "C0000000", "40000000", "20000000"};
    for (size_t i = 0; i < 4; ++i) {
        const size_t at = 5 + 11 * i;
        EXPECT_EQ(log[at], std::string("Set DCU Control ") + items[i]);
        EXPECT_EQ(log[at + 1], kDash34);
        EXPECT_EQ(log[at + 2], "DCU registers states :");
        EXPECT_EQ(log[at + 5].substr(0, 12), "DCU_CONTROL ");
        EXPECT_EQ(log[at + 10], kDash42);
    }
    EXPECT_EQ(log[5 + 11 * 0 + 5], "DCU_CONTROL C8000000");
    EXPECT_EQ(log[5 + 11 * 3 + 5], "DCU_CONTROL 20000000");
    EXPECT_EQ(log.back(), kTapReset);
    EXPECT_TRUE(busyDuringWaits);
    EXPECT_TRUE(Idle());
}

TEST_F(DcuMonitorTest, RunBatchWithAFailedClaimDoesNothingElse) {
    Start();
    win::standin::FailCall("OpenSCManagerA", 5);
    const size_t mark = Mark();
    cmdRunBatchClick();
    EXPECT_EQ(form.errorBoxes, (Lines{"The parallel port could not be opened"}));
    for (const std::string& line : form.LogFrom(mark))
        EXPECT_NE(line, "Initializing JTAG ...");
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(Idle());
}

TEST_F(DcuMonitorTest, RunBatchWithAnEmptyListOnlyInitialisesAndResets) {
    Start();
    for (int i = 0; i < 4; ++i) {
        form.SetPosition("lstBatch", 0);
        cmdDelRecClick();
    }
    ASSERT_TRUE(form.Items("lstBatch").empty());
    const size_t mark = Mark();
    cmdRunBatchClick();
    EXPECT_EQ(form.LogFrom(mark), InitThen({}));
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(Idle());
}

} // namespace
} // namespace tapster::test
