// The flash agent images on the simulated board, driven by the host's own flash commands: the
// board executes fl4_trap.bin (or fl4_trap_intel.bin, fl4_trap_sst.bin) on its ST20 core, no
// stand-in agent, and the chip counts its busy times in the core's cycles.
#include "agent_amd_image.h"
#include "agent_intel_image.h"
#include "agent_sst_image.h"
#include "board_session.h"
#include "ops/command_outcome.h"

#include <fstream>

namespace tapster::test {
namespace {

struct BoardCase {
    const char* chip;
    std::span<const uint8_t> (*image)();
    const char* id;      // the "Check" caption
    uint32_t sector;     // a free sector to erase
    uint32_t sectorSize; // what Clear Sector clears there
    uint32_t locked;     // a sector the trouble cases protect (AMD), lock (J3) or lock down (C3)
    bool sst = false;    // no protection, and a sector erase too quick to stop
};

// 2 MiB written and read back on every chip: the whole of the 16 Mbit parts, half the 32 Mbit ones.
constexpr uint32_t kImageLength = 0x200000;

const BoardCase kBoards[] = {
    {"AM29LV160DB", agent_test::kAgentAmdBytes, "Flash IDCODE 0001.2249", 0x30000, 0x10000,
     0x10000},
    {"M29W160EB", agent_test::kAgentAmdBytes, "Flash IDCODE 0020.2249", 0x30000, 0x10000, 0x10000},
    {"MX29LV160DB", agent_test::kAgentAmdBytes, "Flash IDCODE 00C2.2249", 0x30000, 0x10000,
     0x10000},
    {"28F160B3B", agent_test::kAgentIntelBytes, "Flash IDCODE 0089.8891", 0x30000, 0x10000,
     0x10000},
    {"28F320J3", agent_test::kAgentIntelBytes, "Flash IDCODE 0089.0016", 0x20000, 0x20000, 0x40000},
    {"28F160C3B", agent_test::kAgentIntelBytes, "Flash IDCODE 0089.88C3", 0x30000, 0x10000,
     0x10000},
    {"SST39VF1601", agent_test::kAgentSstBytes, "Flash IDCODE 00BF.234B", 0x30000, 0x1000, 0x10000,
     true},
    {"SST39VF3201", agent_test::kAgentSstBytes, "Flash IDCODE 00BF.235B", 0x30000, 0x1000, 0x10000,
     true},
};

class AgentOnBoard : public BoardTest, public ::testing::WithParamInterface<BoardCase> {
  protected:
    static board::BoardConfig ConfigFor(const BoardCase& c) {
        board::BoardConfig config;
        config.flash.chip = c.chip;
        config.flash.base = 0x60000000;
        config.flash.busyPercent = 1;
        config.flash.writeProtect = false; // the 28F160B3B's boot blocks writable too
        return config;
    }
    void StartWithImage(board::BoardConfig config = ConfigFor(GetParam())) {
        Start(std::move(config));
        ASSERT_TRUE(TakeAgent(GetParam().image()));
        form.SetText("lstFlashBase", "60000000");
    }
};

// Check, Write from File and Read to File byte for byte, Block Protect Status, Clear Sector
// (its neighbour keeps its data) and Clear Chip.
TEST_P(AgentOnBoard, FlashCommandsThroughTheAgent) {
    const BoardCase& c = GetParam();
    StartWithImage();
    cmdGetDevCodeClick();
    EXPECT_EQ(form.Text("lblFlashCode"), c.id);

    const std::string file = WriteFile("image.bin", kImageLength);
    WriteFlashAt(file, 0x60000000, kImageLength);
    ASSERT_TRUE(form.Logged("Done."));
    EXPECT_EQ(ReadToFile(0x60000000, kImageLength), ReadFileBytes(file));

    form.SetText("txtBlkBase", Hex8(0x60000000 + c.sector));
    cmdProtectClick();
    EXPECT_TRUE(form.Logged("Block " + Hex8(0x60000000 + c.sector) + " protection status = 0"));
    const size_t mark = Mark();
    form.warningAnswers.push_back(true);
    cmdBlkEraseClick();
    EXPECT_EQ(form.LogFrom(mark).back(), kTapReset);
    EXPECT_TRUE(form.LogFrom(mark).end()[-2] == "Done.");
    const auto erased = TargetBytes(0x60000000 + c.sector, c.sectorSize);
    EXPECT_EQ(erased, std::vector<uint8_t>(c.sectorSize, 0xFF));
    EXPECT_NE(TargetBytes(0x60000000 + c.sector + c.sectorSize, 16),
              std::vector<uint8_t>(16, 0xFF));
    const std::vector<uint8_t> written = ReadFileBytes(file);
    EXPECT_EQ(TargetBytes(0x60000000 + c.sector - 16, 16),
              std::vector<uint8_t>(written.begin() + c.sector - 16, written.begin() + c.sector));

    form.warningAnswers.push_back(true);
    cmdChipEraseClick();
    EXPECT_EQ(form.LogLines().end()[-2], "Done.");
    EXPECT_EQ(TargetBytes(0x60000000, 0x1000), std::vector<uint8_t>(0x1000, 0xFF));
}

// What a flash job can meet on each chip, through the host's commands: a protected sector, bits
// that do not program, a chip that never finishes a word, Abort answered Yes (the agent is
// told to stop) while a chunk programs and while a sector erases, and an odd start and length.
// Each failure ends the command with its own failure line and a failed outcome, never "Done.".
TEST_P(AgentOnBoard, EveryTroubleEndsTheCommandAsAFailure) {
    const BoardCase& c = GetParam();
    const uint32_t locked = 0x60000000 + c.locked;
    const uint32_t free = 0x60000000 + c.sector;
    // Presses "Abort !" at the first agent wait after `line`, and answers Yes.
    auto abortAfter = [this](const std::string& line) {
        form.yesNoAnswers.push_back(true);
        form.onEvent = [this, line, pressed = false](int) mutable {
            if (pressed || !form.Logged(line) ||
                form.LastLogLine().rfind("Waiting for release ...", 0) != 0)
                return;
            pressed = true;
            cmdCancelClick();
        };
    };
    const std::string program = "Flash programming NOT complete !!!";
    struct Trouble {
        const char* name;
        void (*configure)(board::FlashConfig&, uint32_t lockedOffset);
        bool erase; // Clear Sector at the free sector; otherwise Write from File of 4 KiB
        bool abort;
        bool notOnSst; // a protected sector, or an erase slow enough to stop
        uint32_t at;
        std::vector<std::string> tail; // the last lines before the TAP reset
    };
    const Trouble troubles[] = {
        {"protected sector",
         [](board::FlashConfig& f, uint32_t offset) {
             f.protectedSectors = {offset};
             f.writeProtect = true;
         },
         false,
         false,
         true,
         locked,
         {program, "Error writing flash at address " + Hex8(locked)}},
        {"bits that do not program",
         [](board::FlashConfig& f, uint32_t) { f.faults.stuckBits = 0x0101; },
         false,
         false,
         false,
         free,
         {program, "Error writing flash at address " + Hex8(free)}},
        {"never finishes",
         [](board::FlashConfig& f, uint32_t) { f.faults.neverFinishes = true; },
         false,
         false,
         false,
         free,
         {program, "Error writing flash at address " + Hex8(free)}},
        {"stop while programming",
         [](board::FlashConfig& f, uint32_t) { f.busyPercent = 100; },
         false,
         true,
         false,
         free,
         {program, "Error writing flash at address " + Hex8(free)}},
        {"stop while erasing",
         [](board::FlashConfig& f, uint32_t) { f.busyPercent = 100; },
         true,
         true,
         true,
         free,
         {"Flash erasing NOT complete !!!", "Error clearing sector !!!"}},
    };
    for (const Trouble& t : troubles) {
        if (t.notOnSst && c.sst) continue;
        // A J3's lock bits are cleared by the agent: its locked sector is programmed.
        if (t.at == locked && std::string_view(c.chip) == "28F320J3") continue;
        SCOPED_TRACE(t.name);
        board::BoardConfig config = ConfigFor(c);
        t.configure(config.flash, c.locked);
        StartWithImage(std::move(config));
        if (HasFatalFailure()) return;
        const std::string file = WriteFile("trouble.bin", 0x1000, 0x40);
        const std::string first =
            t.erase ? "Erasing block, addr " + Hex8(t.at) : "Writing flash addr " + Hex8(t.at);
        if (t.abort) abortAfter(first);
        const size_t mark = Mark();
        ClearCommandOutcome();
        if (t.erase) {
            form.SetText("txtBlkBase", Hex8(t.at));
            form.warningAnswers.push_back(true);
            cmdBlkEraseClick();
        } else {
            WriteFlashAt(file, t.at, 0x1000);
        }
        form.onEvent = nullptr;
        std::vector<std::string> expected = {
            "******** Canceled by user or timeout exceeded *********",
            "******** Operation terminated !!! *********"};
        expected.insert(expected.end(), t.tail.begin(), t.tail.end());
        expected.push_back(kTapReset);
        const std::vector<std::string> log = form.LogFrom(mark);
        ASSERT_GE(log.size(), expected.size());
        EXPECT_EQ(
            std::vector<std::string>(log.end() - static_cast<long>(expected.size()), log.end()),
            expected);
        EXPECT_TRUE(LoggedSince(mark, first));
        EXPECT_FALSE(LoggedSince(mark, "Done."));
        EXPECT_TRUE(CommandFailed());
        EXPECT_TRUE(Idle());
        if (!t.erase && !t.abort) {
            EXPECT_NE(TargetBytes(t.at, 0x1000), ReadFileBytes(file)) << "nothing to report";
        }
    }

    // An odd start and an odd length: the half-words at both ends are completed with 0xFF, so
    // the bytes beside the range keep what an earlier write put there.
    StartWithImage();
    ASSERT_FALSE(HasFatalFailure());
    WriteFlashAt(WriteBytes("ends.bin", {0x11, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x22}), free, 8);
    WriteFlashAt(WriteBytes("odd.bin", {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}), free + 1, 6);
    EXPECT_EQ(form.LogLines().end()[-2], "Done.");
    EXPECT_EQ(TargetBytes(free, 8),
              (std::vector<uint8_t>{0x11, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0x22}));
}

INSTANTIATE_TEST_SUITE_P(Chips, AgentOnBoard, ::testing::ValuesIn(kBoards),
                         [](const auto& info) { return std::string(info.param.chip); });

using ImageLoadedByHand = BoardTest;

// The Intel image loaded by hand over the AMD image the CPU runs: the load moves the CPU off the
// running agent first, logging nothing of it, and the new image is then taken and answers.
TEST_F(ImageLoadedByHand, OverARunningAgentIsTakenAndAnswers) {
    board::BoardConfig config;
    config.flash.chip = "28F160B3B";
    Start(FlashClearOfRom(config));
    ASSERT_TRUE(TakeAgent(agent_test::kAgentAmdBytes()));
    ClearCommandOutcome();
    const size_t mark = Mark();
    ASSERT_TRUE(TakeAgent(agent_test::kAgentIntelBytes()));
    ASSERT_FALSE(CommandFailed()) << "the load or the take failed";
    EXPECT_EQ(form.LogFrom(mark).at(kInitLines.size() + 2), "Trap routine loaded successfully.");
    form.SetText("lstFlashBase", "60000000");
    cmdGetDevCodeClick();
    EXPECT_EQ(form.Text("lblFlashCode"), "Flash IDCODE 0089.8891");
}

} // namespace
} // namespace tapster::test
