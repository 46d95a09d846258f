// The flash agent images on the simulated board, driven by the host's own flash commands: the
// board executes fl4_trap.bin (or fl4_trap_intel.bin) on its ST20 core, no stand-in agent, and
// the chip counts its busy times in the core's cycles.
#include "agent_amd_image.h"
#include "agent_intel_image.h"
#include "board_session.h"

#include <fstream>

namespace tapster::test {
namespace {

struct BoardCase {
    const char* chip;
    bool intel;
    const char* id;  // the "Check" caption
    uint32_t sector; // a free sector to erase
    uint32_t length; // bytes for Write from File and Read to File
};

// The whole 2 MiB part on the first row, 256 KiB of the others (the benchmark writes and reads
// 2 MiB as well).
const BoardCase kBoards[] = {
    {"AM29LV160DB", false, "Flash IDCODE 0001.2249", 0x30000, 0x200000},
    {"M29W160EB", false, "Flash IDCODE 0020.2249", 0x30000, 0x40000},
    {"MX29LV160DB", false, "Flash IDCODE 00C2.2249", 0x30000, 0x40000},
    {"28F160B3B", true, "Flash IDCODE 0089.8891", 0x30000, 0x40000},
    {"28F320J3", true, "Flash IDCODE 0089.0016", 0x20000, 0x40000},
};

class AgentOnBoard : public BoardTest, public ::testing::WithParamInterface<BoardCase> {
  protected:
    void StartWithImage() {
        board::BoardConfig config;
        config.flash.chip = GetParam().chip;
        config.flash.base = 0x60000000;
        config.flash.busyPercent = 1;
        config.flash.writeProtect = false; // the 28F160B3B's boot blocks writable too
        Start(std::move(config));
        ASSERT_TRUE(TakeAgent(GetParam().intel ? agent_test::kAgentIntelBytes()
                                               : agent_test::kAgentAmdBytes()));
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

    const std::string file = WriteFile("image.bin", c.length);
    form.SetText("txtFromAddr", "60000000");
    form.SetText("txtFlashLen", HexMin(c.length, 1));
    form.files.push_back(file);
    form.warningAnswers.push_back(true);
    cmdWriteFlashClick();
    ASSERT_TRUE(form.Logged("Done."));
    const std::string dump = (dir / "dump.bin").string();
    form.files.push_back(dump);
    cmdReadToFileClick();
    EXPECT_EQ(ReadFileBytes(dump), ReadFileBytes(file));

    form.SetText("txtBlkBase", Hex8(0x60000000 + c.sector));
    cmdProtectClick();
    EXPECT_TRUE(form.Logged("Block " + Hex8(0x60000000 + c.sector) + " protection status = 0"));
    const size_t mark = Mark();
    form.warningAnswers.push_back(true);
    cmdBlkEraseClick();
    EXPECT_EQ(form.LogFrom(mark).back(), kTapReset);
    EXPECT_TRUE(form.LogFrom(mark).end()[-2] == "Done.");
    const auto erased = TargetBytes(0x60000000 + c.sector, 0x10000);
    EXPECT_EQ(erased, std::vector<uint8_t>(0x10000, 0xFF));
    const std::vector<uint8_t> written = ReadFileBytes(file);
    EXPECT_EQ(TargetBytes(0x60000000 + c.sector - 16, 16),
              std::vector<uint8_t>(written.begin() + c.sector - 16, written.begin() + c.sector));

    form.warningAnswers.push_back(true);
    cmdChipEraseClick();
    EXPECT_EQ(form.LogLines().end()[-2], "Done.");
    EXPECT_EQ(TargetBytes(0x60000000, 0x1000), std::vector<uint8_t>(0x1000, 0xFF));
}

INSTANTIATE_TEST_SUITE_P(Chips, AgentOnBoard, ::testing::ValuesIn(kBoards),
                         [](const auto& info) { return std::string(info.param.chip); });

} // namespace
} // namespace tapster::test
