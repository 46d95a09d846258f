// The claim at the start of a command on Windows, against the real service manager. Where the
// permission driver cannot run (no qziopm.sys beside the program, or wine, which starts no kernel
// driver) a command must stop at "The parallel port could not be opened" (the reason kept for the
// front ends), before any port instruction: without the driver's permission one would end the
// program.
#ifdef _WIN32

#include "ops/commands.h"
#include "ops/services.h"
#include "port/lpt.h"
#include "port/port_backend.h"
#include "port/qziopm.h"
#include "process_state.h"
#include "test_form.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace tapster {
namespace {

using Lines = std::vector<std::string>;

class WinCommandClaimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ResetProcessState(); // the real port: any instruction on it would fault
        std::string driverFile = QZIOPMDriver().ProgramDirectory() + "qziopm.sys";
        if (std::FILE* f = std::fopen(driverFile.c_str(), "rb")) {
            std::fclose(f);
            GTEST_SKIP() << "a qziopm.sys lies beside the test program";
        }
    }
    void TearDown() override {
        ReleasePort(kLptFirstBase, kLptSecondBase); // takes the service away again
        test::ResetProcessState();
    }

    test::TestForm form;
};

TEST_F(WinCommandClaimTest, ClaimFailsWithTheMessageAndTheReason) {
    EXPECT_FALSE(ClaimPortForCommand());
    EXPECT_EQ(form.errorBoxes, (Lines{"The parallel port could not be opened"}));
    // The driver service installs; starting a driver that is not there (or under wine, any
    // kernel driver) is what fails. The box alone reports it; the reason is kept for the front
    // ends.
    EXPECT_TRUE(form.LogLines().empty());
    const std::string hint = LastPortClaimHint();
    EXPECT_EQ(hint.rfind("Starting the qziopm driver failed: ", 0), 0u) << hint;
}

TEST_F(WinCommandClaimTest, HardwareCheckStopsBeforeTouchingThePort) {
    form.SetPosition("trkDelay", 100);
    cmdDelayClick();
    EXPECT_EQ(form.errorBoxes, (Lines{"The parallel port could not be opened"}));
    EXPECT_FALSE(form.Logged("Checking JTAG hardware ..."));
    EXPECT_EQ(form.Position("trkDelay"), 100);
}

} // namespace
} // namespace tapster

#endif
