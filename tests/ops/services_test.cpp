// The window services every command uses: busy mode, the progress display, the claim at the start
// of a command and the start directory.
#include "ops/commands.h"
#include "ops/services.h"
#include "port/lpt.h"
#include "port/platform.h"
#include "port/port_backend.h"
#include "port/qzportio.h"
#include "process_state.h"
#include "standin/port_permission.h"
#include "standin/win_standin.h"
#include "test_form.h"

#include <gtest/gtest.h>

namespace tapster {
namespace {

// A port that only counts what reaches it.
class CountingPort : public PortBackend {
  public:
    void WriteRegister(uint16_t, uint8_t) override { ++writes; }
    uint8_t ReadRegister(uint16_t) override {
        ++reads;
        return 0;
    }
    std::string Name() const override { return "counting port"; }
    int writes = 0;
    int reads = 0;
};

int portFaults = 0;
void CountFault(uint16_t, bool) {
    ++portFaults;
}

bool NinetyFiveFamily(uint32_t& id) {
    id = 1;
    return true;
}

bool UnknownPlatform(uint32_t& id) {
    id = 3;
    return true;
}

class ServicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ResetProcessState();
        SetPortBackend(&port);
        portFaults = 0;
        SetPortFaultHandler(CountFault);
    }
    void TearDown() override {
        SetPortFaultHandler(nullptr);
        platform::SetPlatformIdQuery(nullptr);
        test::ResetProcessState();
    }

    test::TestForm form;
    CountingPort port;
};

const char* const kContainers[] = {"Panel1", "Panel3", "Panel5", "GroupBox5", "GroupBox7"};

TEST_F(ServicesTest, BusyModeDisablesTheCommandContainersAndShowsAbort) {
    Deactivate();
    for (const char* name : kContainers)
        EXPECT_FALSE(form.Enabled(name)) << name;
    EXPECT_TRUE(form.Visible("cmdCancel"));
    EXPECT_TRUE(form.Usable("cmdCancel"));
    // The monitor and the page tabs stay usable, so the timer and "Abort !" work in a command.
    EXPECT_TRUE(form.Usable("GroupBox6"));
    EXPECT_TRUE(form.Usable("cmdStartDCU"));
    EXPECT_FALSE(form.Usable("cmdMemSeek"));
    EXPECT_FALSE(form.Usable("cmdManRead"));
    EXPECT_FALSE(form.Usable("cmdRunBatch"));
    EXPECT_FALSE(form.Usable("cmdVrfRAM"));
    EXPECT_FALSE(form.Usable("cmdWriteFlash"));

    Activate();
    for (const char* name : kContainers)
        EXPECT_TRUE(form.Enabled(name)) << name;
    EXPECT_FALSE(form.Visible("cmdCancel"));
    EXPECT_TRUE(form.Usable("cmdMemSeek"));
}

TEST_F(ServicesTest, ProgressDisplayBeginsAdvancesAndEnds) {
    form.SetPosition("ProgressBar1", 77);
    ProgressBegin(0x20000);
    EXPECT_TRUE(form.Visible("ProgressBar1"));
    EXPECT_TRUE(form.Visible("lblAdr"));
    EXPECT_EQ(form.Minimum("ProgressBar1"), 0);
    EXPECT_EQ(form.Maximum("ProgressBar1"), 0x20000);
    EXPECT_EQ(form.Position("ProgressBar1"), 0);

    ProgressAdvance(256, "Addr 7FFE0000");
    ProgressAdvance(256, "Addr 7FFE0100");
    EXPECT_EQ(form.Position("ProgressBar1"), 512);
    EXPECT_EQ(form.Text("lblAdr"), "Addr 7FFE0100");

    ProgressEnd();
    EXPECT_FALSE(form.Visible("ProgressBar1"));
    EXPECT_FALSE(form.Visible("lblAdr"));
}

TEST_F(ServicesTest, ProgressTotalBeyondTheWidgetRangeIsClamped) {
    ProgressBegin(0xFFFFFFFFu);
    EXPECT_GT(form.Maximum("ProgressBar1"), 0);
    EXPECT_EQ(form.Position("ProgressBar1"), 0);
}

TEST_F(ServicesTest, ClaimOnTheNtFamilyStartsTheDriverAndPermitsThePort) {
    ASSERT_EQ(GetWindowsFamily(), kFamilyNt);
    EXPECT_TRUE(ClaimPortForCommand());
    EXPECT_TRUE(form.errorBoxes.empty());
    EXPECT_TRUE(win::standin::ServiceRunning());
    EXPECT_TRUE(PortPermitted(0x378));
    EXPECT_TRUE(PortPermitted(0x379));
    EXPECT_TRUE(PortPermitted(0x77A));
    // A second command claims again over the running service.
    EXPECT_TRUE(ClaimPortForCommand());
    EXPECT_TRUE(form.errorBoxes.empty());
}

TEST_F(ServicesTest, FailedClaimShowsTheBoxOnceAndTouchesNoPort) {
    win::standin::FailCall("OpenSCManagerA", 5);
    EXPECT_FALSE(ClaimPortForCommand());
    ASSERT_EQ(form.errorBoxes.size(), 1u);
    EXPECT_EQ(form.errorBoxes[0], "The parallel port could not be opened");
    EXPECT_EQ(port.writes + port.reads, 0);
    // The box is the whole report: the log stays as it was. The reason goes with the box.
    EXPECT_TRUE(form.LogLines().empty());
    EXPECT_FALSE(LastPortClaimHint().empty());
    EXPECT_EQ(form.errorDetails, std::vector<std::string>{LastPortClaimHint()});
}

TEST_F(ServicesTest, CommandWithAFailedClaimStaysIdleAndDoesNothing) {
    win::standin::FailCall("OpenSCManagerA", 5);
    form.SetVisible("ProgressBar1", false); // as start-up leaves it
    const size_t items = form.Items("lstTrapAddr").size();
    cmdMemSeekClick();
    cmdReadRomClick();
    EXPECT_EQ(form.errorBoxes,
              std::vector<std::string>(2, "The parallel port could not be opened"));
    EXPECT_EQ(port.writes + port.reads, 0);
    EXPECT_EQ(portFaults, 0);
    EXPECT_TRUE(form.Enabled("Panel1"));
    EXPECT_FALSE(form.Visible("cmdCancel"));
    EXPECT_FALSE(form.Visible("ProgressBar1"));
    EXPECT_EQ(form.Items("lstTrapAddr").size(), items);
    EXPECT_TRUE(form.LogLines().empty());
    // The ROM dump sets its scan mode before the claim, and a failed claim leaves it set.
    EXPECT_TRUE(ScanDumpMode);
}

TEST_F(ServicesTest, NoClaimOnThe95Family) {
    platform::SetPlatformIdQuery(NinetyFiveFamily);
    PermitAllPorts(true); // the 95/98/ME family allows port instructions without a driver
    win::standin::ClearCalls();
    EXPECT_TRUE(ClaimPortForCommand());
    EXPECT_TRUE(win::standin::Calls().empty());
    EXPECT_TRUE(form.errorBoxes.empty());
}

TEST_F(ServicesTest, NoClaimOnAPlatformOfNeitherFamily) {
    platform::SetPlatformIdQuery(UnknownPlatform);
    ASSERT_EQ(GetWindowsFamily(), "");
    win::standin::ClearCalls();
    EXPECT_TRUE(ClaimPortForCommand());
    EXPECT_TRUE(win::standin::Calls().empty());
    EXPECT_TRUE(form.errorBoxes.empty());
}

} // namespace
} // namespace tapster
