// "Find Free Mem" and the block scan on the simulated board.
#include "board_session.h"
#include "jtag/agent_calls.h"
#include "jtag/jtag_init.h"
#include "jtag/tap_engine.h"
#include "ops/commands.h"
#include "ops/scan_dump.h"
#include "ops/services.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

namespace tapster {
namespace {

using test::Fill;
using test::Patch;
using Lines = std::vector<std::string>;

constexpr uint32_t kRam = 0x40000000;
constexpr uint32_t kVram = 0xC0000000;
constexpr uint32_t kWindow = 0x200000;
const std::string kDashes46 = "----------------------------------------------";

class MemorySearchTest : public test::BoardTest {
  protected:
    // Runs the block scan alone, as its callers do after the claim and the JTAG start, and
    // returns the log lines it wrote.
    Lines Scan(uint32_t start, uint32_t length, bool* result = nullptr) {
        EXPECT_TRUE(ClaimPortForCommand());
        InitJtag();
        EnterLinkScan();
        const size_t before = form.LogLines().size();
        const bool ok = ScanTargetMemory(start, length);
        if (result != nullptr) *result = ok;
        return form.LogFrom(before);
    }
};

// The block scan's worst case is the whole address space; a test that gets that far has failed.
void StopRunawayScan(test::TestForm& form, int limit) {
    form.onEvent = [limit](int events) {
        if (events > limit) AbortFlag = true;
    };
}

TEST_F(MemorySearchTest, FindsRunsInBothWindowsWithTheExactLines) {
    board::BoardConfig config;
    config.fills = {Fill(kRam, kWindow, 0xFF), Fill(kVram, kWindow, 0xFF)};
    config.patches = {Patch(kRam + 0x2000, {0x00})};
    StartBoard(config);
    form.SetVisible("ProgressBar1", false);

    cmdMemSeekClick();

    EXPECT_EQ(LogAfter("Done"), (Lines{
                                    "Reseting TAP ... Done.",
                                    "Trying to find 5kB free memory space...",
                                    "Please be patient ! This will take a some time !",
                                    kDashes46,
                                    "RAM_START:40000000",
                                    "Searching RAM ...",
                                    "Free memory found : Start address - 40000000;",
                                    "******************** Length : 00002000;",
                                    "Free memory found : Start address - 40002001;",
                                    "******************** Length : 001FDFFF;",
                                    kDashes46,
                                    "VRAM_START:C0000000",
                                    "Searching Video RAM ...",
                                    "Free memory found : Start address - C0000000;",
                                    "******************** Length : 00200000;",
                                    "Reseting TAP ... Done.",
                                }));
    // The addresses are offered in the trap address box; its text stays as it was.
    EXPECT_EQ(form.Items("lstTrapAddr"), (Lines{"80000800", "40000000", "40002001", "C0000000"}));
    EXPECT_EQ(form.Text("lstTrapAddr"), "80000800");
    EXPECT_TRUE(form.errorBoxes.empty());
    // 8192 blocks of 256 bytes in the last window, then the display hidden and the window idle.
    EXPECT_EQ(form.Maximum("ProgressBar1"), static_cast<int>(kWindow));
    EXPECT_EQ(form.Position("ProgressBar1"), static_cast<int>(kWindow));
    EXPECT_EQ(form.Text("lblAdr"), "Addr C01FFF00");
    EXPECT_FALSE(form.Visible("ProgressBar1"));
    EXPECT_FALSE(form.Visible("lblAdr"));
    EXPECT_TRUE(form.Enabled("Panel1"));
    EXPECT_FALSE(form.Visible("cmdCancel"));
    EXPECT_FALSE(ScanDumpMode);
}

TEST_F(MemorySearchTest, RunOfExactly5120BytesIsReportedAnd5119IsNot) {
    board::BoardConfig config;
    config.fills = {Fill(kRam, 0x4000, 0x55), Fill(kRam + 0x100, 5120, 0xFF),
                    Fill(kRam + 0x2000, 5119, 0xFF)};
    StartBoard(config);
    bool ok = false;
    EXPECT_EQ(Scan(kRam, 0x4000, &ok), (Lines{"Free memory found : Start address - 40000100;",
                                              "******************** Length : 00001400;"}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(form.Items("lstTrapAddr"), (Lines{"80000800", "40000100"}));
}

TEST_F(MemorySearchTest, RunAcrossBlocksIsReportedOnceWithItsTrueStart) {
    board::BoardConfig config;
    config.fills = {Fill(kRam, 0x3000, 0x55), Fill(kRam + 0x80, 0x1C00, 0xFF)};
    StartBoard(config);
    EXPECT_EQ(Scan(kRam, 0x3000), (Lines{"Free memory found : Start address - 40000080;",
                                         "******************** Length : 00001C00;"}));
}

TEST_F(MemorySearchTest, ScanHandlesOneEventPerBlockAndAdvancesTheBarBy256) {
    StartBoard();
    ASSERT_TRUE(ClaimPortForCommand());
    InitJtag();
    EnterLinkScan();
    std::vector<std::string> labels; // lblAdr as each event finds it
    form.onEvent = [&](int) { labels.push_back(form.Text("lblAdr")); };
    const int before = form.events;
    EXPECT_TRUE(ScanTargetMemory(kRam, 0x300));
    EXPECT_EQ(form.events - before, 3);
    // The event comes before the block's read: the label still names the previous block.
    EXPECT_EQ(labels, (Lines{"Addr 0x00000000", "Addr 40000000", "Addr 40000100"}));
    EXPECT_EQ(form.Maximum("ProgressBar1"), 0x300);
    EXPECT_EQ(form.Position("ProgressBar1"), 0x300);
    EXPECT_EQ(form.Text("lblAdr"), "Addr 40000200");
}

TEST_F(MemorySearchTest, RunStartingAtAddressZeroIsReported) {
    StartBoard(); // nothing answers below the DCU registers: the bus floats high (0xFF)
    EXPECT_EQ(Scan(0, 0x2000), (Lines{"Free memory found : Start address - 00000000;",
                                      "******************** Length : 00002000;"}));
}

TEST_F(MemorySearchTest, BothConditionBoxesJoinZeroAndFfBytesIntoOneRun) {
    std::vector<uint8_t> alternating(0x1800);
    for (size_t i = 0; i < alternating.size(); ++i)
        alternating[i] = (i % 2 == 0) ? 0x00 : 0xFF;
    board::BoardConfig config;
    config.fills = {Fill(kRam, 0x2000, 0x55)};
    config.patches = {Patch(kRam + 0x100, alternating)};
    StartBoard(config);

    form.SetChecked("chk0", true);
    EXPECT_EQ(Scan(kRam, 0x2000), (Lines{"Free memory found : Start address - 40000100;",
                                         "******************** Length : 00001800;"}));
    form.SetChecked("chk0", false);
    EXPECT_EQ(Scan(kRam, 0x2000), (Lines{"NO Free memory found at Start address - 40000000;"}));
}

TEST_F(MemorySearchTest, NeitherConditionBoxFindsNothing) {
    board::BoardConfig config;
    config.fills = {Fill(kRam, 0x1000, 0x00), Fill(kRam + 0x1000, 0x2000, 0xFF)};
    StartBoard(config);
    form.SetChecked("chk1", false);
    form.SetChecked("chk0", false);
    EXPECT_EQ(Scan(kRam, 0x3000), (Lines{"NO Free memory found at Start address - 40000000;"}));
    EXPECT_EQ(form.Items("lstTrapAddr").size(), 1u);
}

TEST_F(MemorySearchTest, AbortInTheRamPassSkipsTheVideoRamPass) {
    StartBoard();
    form.SetVisible("ProgressBar1", false);
    int blocks = 0;
    int idleDuringScan = 0;
    form.onEvent = [&](int) {
        // Busy mode brackets the scan: panels disabled, "Abort !" shown.
        if (form.Visible("ProgressBar1") && (form.Enabled("Panel1") || !form.Visible("cmdCancel")))
            ++idleDuringScan;
        if (form.Visible("ProgressBar1") && ++blocks == 5) {
            form.yesNoAnswers.push_back(false); // "Wait for normal termination ?" No
            cmdCancelClick();
        }
    };
    cmdMemSeekClick();
    EXPECT_EQ(LogAfter("Searching RAM ..."),
              (Lines{"Read memory Error !!!", "Reseting TAP ... Done."}));
    EXPECT_EQ(blocks, 5);
    EXPECT_EQ(idleDuringScan, 0);
    EXPECT_TRUE(form.errorBoxes.empty());
    EXPECT_FALSE(form.Visible("ProgressBar1"));
    EXPECT_TRUE(form.Enabled("Panel1"));
    EXPECT_FALSE(form.Visible("cmdCancel"));
}

TEST_F(MemorySearchTest, FailedBlockReadShowsTheBoxAndSkipsTheVideoRamPass) {
    board::BoardConfig config;
    config.faults.noTarget = true;
    StartBoard(config);
    cmdMemSeekClick();
    EXPECT_EQ(form.errorBoxes, (Lines{"START not received from DCU!!! Check Your hardware !!!"}));
    EXPECT_EQ(LogAfter("Searching RAM ..."),
              (Lines{"Read memory Error !!!", "Reseting TAP ... Done."}));
    EXPECT_FALSE(form.Visible("ProgressBar1"));
    EXPECT_FALSE(form.Visible("lblAdr"));
    EXPECT_TRUE(form.Enabled("Panel1"));
}

TEST_F(MemorySearchTest, UnparsableStartAddressesScanNothing) {
    StartBoard();
    form.SetText("txtRAM", "0x40000000");
    form.SetText("txtVRAM", "C0000000 ");
    cmdMemSeekClick();
    EXPECT_TRUE(form.Logged("RAM_START:FFFFFFFF"));
    EXPECT_EQ(
        LogAfter("Searching RAM ..."),
        (Lines{"NO Free memory found at Start address - FFFFFFFF;", kDashes46,
               "VRAM_START:FFFFFFFF", "Searching Video RAM ...",
               "NO Free memory found at Start address - FFFFFFFF;", "Reseting TAP ... Done."}));
}

TEST_F(MemorySearchTest, RangeAtTheTopOfTheAddressSpaceEndsThere) {
    StartBoard();
    StopRunawayScan(form, 100000);
    bool ok = false;
    EXPECT_EQ(Scan(0xFFFFFE00, 0x200, &ok),
              (Lines{"NO Free memory found at Start address - FFFFFE00;"}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(form.Position("ProgressBar1"), 0x200); // two blocks, no wrap round to address 0
}

class ScanDumpTest : public MemorySearchTest {
  protected:
    void SetUp() override {
        MemorySearchTest::SetUp();
        path = Path("scan_dump.bin"); // in the session's directory, removed with it
    }
    void TearDown() override {
        CloseScanDumpFile();
        MemorySearchTest::TearDown();
    }
    std::string path;
};

TEST_F(ScanDumpTest, DumpWritesWholeBlocksAndNothingToTheLog) {
    std::vector<uint8_t> pattern(0x200);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<uint8_t>(i * 7 + 3);
    board::BoardConfig config;
    config.patches = {Patch(kRam + 0x100, pattern)};
    StartBoard(config);

    ScanDumpMode = true;
    ASSERT_TRUE(OpenScanDumpFile(path));
    bool ok = false;
    // 0x108 bytes end at start + 0x104: two blocks, 512 bytes in the file.
    EXPECT_TRUE(Scan(kRam + 0x100, 0x108, &ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_TRUE(CloseScanDumpFile());
    EXPECT_FALSE(ScanDumpWriteFailed);
    ASSERT_EQ(std::filesystem::file_size(path), 0x200u);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<uint8_t> dumped(0x200);
    EXPECT_EQ(std::fread(dumped.data(), 1, dumped.size(), file), dumped.size());
    std::fclose(file);
    EXPECT_EQ(dumped, pattern);
    EXPECT_EQ(form.Items("lstTrapAddr").size(), 1u);
}

TEST_F(ScanDumpTest, DumpWithoutAFileFailsInsteadOfCrashing) {
    StartBoard();
    ScanDumpMode = true;
    bool ok = true;
    EXPECT_TRUE(Scan(kRam, 0x400, &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(ScanDumpWriteFailed);
    EXPECT_FALSE(form.Visible("ProgressBar1"));
}

} // namespace
} // namespace tapster
