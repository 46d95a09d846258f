// The host's usual working order on a board whose CPU executes the flash agent the host loads:
// Check, Find Free Mem, Load Trap Routine, Install Traps (every group, so every condition's slot
// names the agent's workspace), Take Trap under each break condition with Check existing and an
// identify after it, then the other flash calls and Read to File, all served by the agent
// running on the core.
#include "board_session.h"
#include "core/hex.h"

#include <fstream>

namespace tapster::test {
namespace {

using Lines = std::vector<std::string>;

struct Condition {
    int index;
    const char* item;
};

const Condition kConditions[] = {
    {0, "Trap on interrupt"},
    {1, "Trap on next flow"},
    {2, "Trap on watchpoint (Wptr) matched"},
    {3, "Trap on breakpoint (Iptr) matched"},
};

class CoreWorkingOrder : public BoardTest {};

uint64_t Logged(const Lines& log, const std::string& label) {
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        if (it->rfind(label, 0) == 0) return ParseHex(it->substr(label.size()));
    return 0xDEAD;
}

TEST_F(CoreWorkingOrder, TheRoutineRunsOnTheCpuUnderEachConditionAndAnswers) {
    board::BoardConfig config;
    config.flash.base = 0x60000000; // the whole chip on the bus, clear of the internal ROM
    Start(config);
    form.SetText("lstFlashBase", "60000000");

    cmdDelayClick();
    ASSERT_TRUE(form.Logged("CPU type: STi5510"));
    cmdMemSeekClick(); // the resident program leaves the free areas alone
    EXPECT_TRUE(form.Logged("Free memory found : Start address - 40080000;"));
    EXPECT_TRUE(form.Logged("Free memory found : Start address - C0100000;"));

    WriteAgentImage();
    cmdLoadTrapClick();
    ASSERT_TRUE(form.Logged("Trap routine loaded successfully."));
    for (const char* box : {"chkErrTrap", "chkSysTrap", "chkSchedTrap"})
        form.SetChecked(box, true);
    cmdInstTrapClick();

    for (const Condition& c : kConditions) {
        SCOPED_TRACE(c.item);
        // Back to the resident program: a manual write of the DCU reset, then of 0.
        for (const char* control : {"08000000", "00000000"}) {
            form.SetText("txtManAddr", "3004");
            form.SetText("txtManData", control);
            cmdManWriteClick();
        }
        form.SetPosition("selBrkCond", c.index);
        const size_t mark = Mark();
        cmdLoadDCUClick();
        ASSERT_EQ(MailboxBase, kMailbox);
        const Lines take = form.LogFrom(mark);
        // After the arming the CPU is in the routine, entered through BRK_TRAP_HIGH.
        const auto status = static_cast<uint32_t>(Logged(take, "DCU_STATUS "));
        EXPECT_EQ(status & 0x0F, 0x09u) << Hex8(status) << ": running, in the trap";
        EXPECT_EQ(status >> 8 & 0xF, 1u << c.index) << Hex8(status);
        EXPECT_EQ(Logged(take, "BRK_TRAP_HIGH STATUS "), 0x80000001u);
        const uint64_t iptr = Logged(take, "DCU_JUMPTRACE_IPTR ");
        EXPECT_GE(iptr, kTrap);
        EXPECT_LT(iptr, kTrap + kImageSize) << "the jump trace shows the routine's poll loop";

        const size_t survey = Mark();
        cmdChkTrapsClick();
        const Lines slots = form.LogFrom(survey);
        EXPECT_EQ(Logged(slots, "BRK_TRAP_HIGH+IPTR "), kTrap);
        EXPECT_EQ(Logged(slots, "SCHED_TRAP_HIGH+WPTR "), kMailbox);

        const size_t call = Mark();
        cmdGetDevCodeClick();
        const Lines id = form.LogFrom(call);
        EXPECT_EQ(Logged(id, "Flash Manufacturer CODE "), 0x0001u);
        EXPECT_EQ(Logged(id, "Flash DEVICE CODE "), 0x2249u);
    }

    // The other calls: erase a block, program two chunks, read them back, block protection,
    // erase the chip.
    form.SetText("txtBlkBase", "60010000");
    form.warningAnswers.push_back(true);
    cmdBlkEraseClick();
    EXPECT_EQ(form.LogLines()[form.LogLines().size() - 2], "Done.");
    const std::string file = WriteFile("image.bin", 0x2000);
    WriteFlashAt(file, 0x60010000, 0x2000);
    EXPECT_TRUE(form.Logged("Writing flash addr 60011000"));
    EXPECT_EQ(form.LogLines()[form.LogLines().size() - 2], "Done.");
    EXPECT_EQ(ReadToFile(0x60010000, 0x2000), ReadFileBytes(file));
    cmdProtectClick();
    EXPECT_TRUE(form.Logged("Block 60010000 protection status = 0"));
    form.warningAnswers.push_back(true);
    cmdChipEraseClick();
    EXPECT_EQ(form.LogLines()[form.LogLines().size() - 2], "Done.");
    EXPECT_EQ(TargetBytes(0x60010000, 16), std::vector<uint8_t>(16, 0xFF));
    EXPECT_TRUE(form.errorBoxes.empty());
}

} // namespace
} // namespace tapster::test
