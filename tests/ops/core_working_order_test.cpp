// The host's usual working order on a board whose CPU executes the loaded routine: Check, Find
// Free Mem, Load Trap Routine, Install Traps (every group, so every condition's slot names the
// routine's workspace), Take Trap under each break condition, Check existing, then the identify
// call served by the routine running on the core.
#include "core/hex.h"
#include "identify_agent.h"
#include "trap_fixture.h"

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

class CoreWorkingOrder : public OpsBoardTest {};

uint64_t Logged(const Lines& log, const std::string& label) {
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        if (it->rfind(label, 0) == 0) return ParseHex(it->substr(label.size()));
    return 0xDEAD;
}

TEST_F(CoreWorkingOrder, TheRoutineRunsOnTheCpuUnderEachConditionAndAnswers) {
    board::BoardConfig config;
    config.core.cppAgent = false;
    Start(config);

    cmdDelayClick();
    ASSERT_TRUE(form.Logged("CPU type: STi5510"));
    cmdMemSeekClick(); // the resident program leaves the free areas alone
    EXPECT_TRUE(form.Logged("Free memory found : Start address - 40080000;"));
    EXPECT_TRUE(form.Logged("Free memory found : Start address - C0100000;"));

    {
        std::ofstream image(dir / "fl4_trap.bin", std::ios::binary);
        const auto bytes = kIdentifyAgentBytes();
        image.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<std::streamsize>(bytes.size()));
    }
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
    EXPECT_TRUE(form.errorBoxes.empty());
}

} // namespace
} // namespace tapster::test
