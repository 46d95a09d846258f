// "Load Trap Routine", "Install Traps" and "Take Trap" on the simulated board.
#include "board_session.h"
#include "core/hex.h"

namespace tapster::test {
namespace {

using Lines = std::vector<std::string>;
using Words = std::vector<uint32_t>;

const std::string kDash42(42, '-');

class TrapRoutineTest : public BoardTest {
  protected:
    std::vector<std::pair<uint32_t, uint32_t>> Pokes() const {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const auto& w : link->writes)
            out.emplace_back(w.address, w.length);
        return out;
    }
};

// --- Load -----------------------------------------------------------------------------------

TEST_F(TrapRoutineTest, LoadRefusesAnAddressThatIsNotPositive) {
    Start();
    WriteFile("fl4_trap.bin", kImageSize);
    for (const char* text : {"", "0", "8000080G"}) {
        form.errorBoxes.clear();
        form.SetText("lstTrapAddr", text);
        const size_t mark = Mark();
        cmdLoadTrapClick();
        EXPECT_EQ(form.errorBoxes,
                  (Lines{"Wrong TRAP start address!!! Try to specify another one!"}))
            << text;
        EXPECT_EQ(Mark(), mark) << text;
    }
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(link->reads.empty());
}

TEST_F(TrapRoutineTest, EachCommandClaimsThePortFirst) {
    Start();
    WriteFile("fl4_trap.bin", kImageSize);
    win::standin::FailCall("OpenSCManagerA", 5);
    // The claim comes before the load's address check: a bad address is not even looked at.
    form.SetText("lstTrapAddr", "");
    const size_t mark = Mark();
    cmdLoadTrapClick();
    cmdInstTrapClick();
    cmdLoadDCUClick();
    EXPECT_EQ(form.errorBoxes, Lines(3, "The parallel port could not be opened"));
    for (const std::string& line : form.LogFrom(mark))
        EXPECT_NE(line, "Initializing JTAG ...");
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(link->reads.empty());
}

TEST_F(TrapRoutineTest, LoadPokesTheImageInTwoBlocksAtTheDefaultAddress) {
    Start();
    WriteFile("fl4_trap.bin", kImageSize);
    const size_t mark = Mark();
    cmdLoadTrapClick();
    EXPECT_EQ(form.LogFrom(mark),
              InitThen({"Loading trap routine. Memory address 80000800", std::string(40, '-'),
                        "Trap routine loaded successfully."}));
    EXPECT_EQ(Pokes(),
              (std::vector<std::pair<uint32_t, uint32_t>>{{0x80000800, 252}, {0x800008FC, 232}}));
    EXPECT_EQ(TargetBytes(kTrap, kImageSize), ReadFileBytes((dir / "fl4_trap.bin").string()));
    EXPECT_TRUE(form.errorBoxes.empty());
    EXPECT_EQ(MailboxBase, 0u) << "the load does not touch the mailbox base";
}

// A longer file loads its first 484 bytes and nothing behind them; a shorter one is padded with
// zeros over whatever the target held.
TEST_F(TrapRoutineTest, LoadTakesExactly484BytesOfTheFile) {
    for (size_t size : {size_t{600}, size_t{100}}) {
        SCOPED_TRACE(size);
        Start();
        board->Bus().Write32(kTrap + 200, 0xA5A5A5A5); // stale data must not survive
        const auto before = TargetBytes(kTrap + kImageSize, 64);
        const auto file = ReadFileBytes(WriteFile("fl4_trap.bin", size, 0x5A));
        const size_t mark = Mark();
        cmdLoadTrapClick();
        std::vector<uint8_t> expected(kImageSize, 0);
        std::copy_n(file.begin(), std::min(size, kImageSize), expected.begin());
        EXPECT_EQ(TargetBytes(kTrap, kImageSize), expected);
        EXPECT_EQ(TargetBytes(kTrap + kImageSize, 64), before);
        EXPECT_TRUE(LoggedSince(mark, "Trap routine loaded successfully."));
    }
}

TEST_F(TrapRoutineTest, LoadWithoutAnImageShowsTheFileAndWritesNothing) {
    Start();
    const std::string path = StartDirectoryFile("fl4_trap.bin");
    for (bool empty : {false, true}) {
        if (empty) WriteFile("fl4_trap.bin", 0);
        form.errorBoxes.clear();
        const size_t mark = Mark();
        cmdLoadTrapClick();
        ASSERT_EQ(form.errorBoxes.size(), 1u);
        EXPECT_NE(form.errorBoxes[0].find(path), std::string::npos) << form.errorBoxes[0];
        EXPECT_EQ(Mark(), mark);
        EXPECT_FALSE(form.Logged("Trap routine loaded successfully."));
    }
    EXPECT_TRUE(link->writes.empty());
}

TEST_F(TrapRoutineTest, ANineDigitAddressPassesTheCheckAndLoadsAtZero) {
    Start();
    WriteFile("fl4_trap.bin", kImageSize);
    form.SetText("lstTrapAddr", "100000000");
    cmdLoadTrapClick();
    EXPECT_TRUE(form.errorBoxes.empty());
    EXPECT_TRUE(form.Logged("Loading trap routine. Memory address 00000000"));
    EXPECT_EQ(Pokes(),
              (std::vector<std::pair<uint32_t, uint32_t>>{{0x00000000, 252}, {0x000000FC, 232}}));
}

TEST_F(TrapRoutineTest, AnUnacknowledgedPokeIsReportedWithItsAddress) {
    board::BoardConfig config;
    config.faults.neverAcknowledge = true;
    Start(config);
    WriteFile("fl4_trap.bin", kImageSize);
    cmdLoadTrapClick();
    EXPECT_TRUE(form.Logged("Error writing memory at address 80000800!!!"));
    EXPECT_FALSE(form.Logged("Error writing memory at address 800008FC!!!"));
    EXPECT_FALSE(form.Logged("Trap routine loaded successfully."));
    EXPECT_EQ(form.LogLines().back(), kTapReset);
}

// --- Install --------------------------------------------------------------------------------

TEST_F(TrapRoutineTest, InstallWithNoPriorityWritesNoSlot) {
    Start();
    form.SetChecked("chkHiPri", false);
    form.SetChecked("chkLowPri", false);
    for (const char* box : {"chkErrTrap", "chkSysTrap", "chkSchedTrap"})
        form.SetChecked(box, true);
    const size_t mark = Mark();
    cmdInstTrapClick();
    EXPECT_EQ(form.LogFrom(mark), InitThen({}));
    EXPECT_TRUE(link->writes.empty());
    EXPECT_EQ(MailboxBase, 0u);
}

TEST_F(TrapRoutineTest, InstallWithEveryBoxPointsEightSlotsInOrder) {
    Start();
    for (const char* box : {"chkLowPri", "chkErrTrap", "chkSysTrap", "chkSchedTrap"})
        form.SetChecked(box, true);
    board->Bus().Write32(0x80000048, 0x11112222); // an older install in BRK_TRAP_HIGH
    board->Bus().Write32(0x8000004C, 0x33334444);
    const size_t mark = Mark();
    cmdInstTrapClick();

    Lines body;
    for (int k = 0; k < 8; ++k)
        body.insert(body.end(), {k == 0 ? "Old trap Wptr=11112222, old trap Iptr=33334444"
                                        : "Old trap Wptr=00000000, old trap Iptr=00000000",
                                 "New Trap Iptr=80000800", "New Trap Wptr=80000A00"});
    EXPECT_EQ(form.LogFrom(mark), InitThen(body));

    // Three words per slot, IPTR, WPTR, ENABLES, slots in table order.
    const uint32_t enables[] = {0, 6, 0x38, 0x3FC0};
    ASSERT_EQ(link->writes.size(), 24u);
    for (uint32_t k = 0; k < 8; ++k) {
        const uint32_t slot = 0x80000040 + 0x20 * k;
        const auto* w = &link->writes[3 * k];
        EXPECT_EQ(w[0].address, slot + 0xC);
        EXPECT_EQ(w[0].word, kTrap);
        EXPECT_EQ(w[1].address, slot + 0x8);
        EXPECT_EQ(w[1].word, kTrap + 0x200);
        EXPECT_EQ(w[2].address, slot);
        EXPECT_EQ(w[2].word, enables[k % 4]);
        EXPECT_EQ(board->Bus().Read32(slot + 4), 0u) << "STATUS is not written";
    }
    EXPECT_EQ(MailboxBase, kMailbox);
    EXPECT_EQ(link->reads.back().address, 0x80000128u) << "the last WPTR read is SCHED_TRAP_LOW's";
}

TEST_F(TrapRoutineTest, InstallWrapsTheWorkspaceAndTakesBadTextAsAllOnes) {
    Start();
    form.SetText("lstTrapAddr", "FFFFFF00");
    cmdInstTrapClick();
    EXPECT_EQ(link->WordsTo(0x80000048), (Words{0x00000100}));
    EXPECT_TRUE(form.Logged("New Trap Iptr=FFFFFF00"));
    EXPECT_TRUE(form.Logged("New Trap Wptr=00000100"));
    EXPECT_EQ(MailboxBase, 0x00000100u);

    link->Clear();
    form.SetText("lstTrapAddr", "8000080G");
    cmdInstTrapClick();
    EXPECT_EQ(link->WordsTo(0x8000004C), (Words{0xFFFFFFFF}));
    EXPECT_EQ(link->WordsTo(0x80000048), (Words{0x000001FF}));
    EXPECT_TRUE(form.errorBoxes.empty());
}

// --- Take -----------------------------------------------------------------------------------

struct Condition {
    int index;
    const char* item;
    const char* slotName;
    uint32_t slotWptr; // the slot word read into the mailbox base
    uint32_t armRegister;
    uint32_t armValue;
};

const Condition kConditions[] = {
    {0, "Trap on interrupt", "BRK_TRAP_HIGH", 0x80000048, 0x3004, 0x20000000},
    {1, "Trap on next flow", "ERR_TRAP_HIGH", 0x80000068, 0x3004, 0x10000000},
    {2, "Trap on watchpoint (Wptr) matched", "SYS_TRAP_HIGH", 0x80000088, 0x306C, 0x000A0000},
    {3, "Trap on breakpoint (Iptr) matched", "SCHED_TRAP_HIGH", 0x800000A8, 0x302C, 0x000A0000},
};

class TakeTrapTest : public TrapRoutineTest, public ::testing::WithParamInterface<Condition> {};

TEST_P(TakeTrapTest, TakesTheTrapAndTheAgentAnswersAfterwards) {
    const Condition& c = GetParam();
    Start();
    WriteAgentImage();
    cmdLoadTrapClick();
    for (const char* box : {"chkErrTrap", "chkSysTrap", "chkSchedTrap"})
        form.SetChecked(box, true);
    cmdInstTrapClick();
    MailboxBase = 0;
    board->Bus().Write32(kMailbox + 20, 0x77777777); // OP_TEMP left over
    form.SetPosition("selBrkCond", c.index);
    // Every condition traps into BRK_TRAP_HIGH, where the resident program runs, and the host
    // reads the mailbox base from the condition's own slot: with the routine installed in both
    // (the others pointed elsewhere) the base must come from the chosen slot.
    for (uint32_t wptr : {0x80000068u, 0x80000088u, 0x800000A8u})
        if (wptr != c.slotWptr) board->Bus().Write32(wptr, 0x80002000);
    link->Clear();
    const size_t mark = Mark();
    // The settle wait after the arming write: virtual milliseconds spent with "Setting ..." last.
    uint32_t settleMs = 0, lastTicks = form.clock.ticks;
    form.onEvent = [&](int) {
        if (form.LastLogLine().rfind("Setting ", 0) == 0) settleMs += form.clock.ticks - lastTicks;
        lastTicks = form.clock.ticks;
    };

    cmdLoadDCUClick();
    form.onEvent = nullptr;

    // The agent call at the end waits for an agent at the mailbox: only where there is one.
    ASSERT_EQ(MailboxBase, kMailbox);
    // The slot's WPTR read, OP_TEMP cleared, then the trace controls enabled.
    ASSERT_GE(link->sequence.size(), 4u);
    EXPECT_EQ(Lines(link->sequence.begin(), link->sequence.begin() + 4),
              (Lines{"R" + Hex8(c.slotWptr), "W" + Hex8(kMailbox + 20), "W0000308C", "W0000306C"}));
    EXPECT_EQ(link->writes[0].word, 0u);
    EXPECT_GE(settleMs, 500u);
    EXPECT_LT(settleMs, 1000u) << "one wait of 500 ms";
    // The chosen arming write and no other write to the registers of the other conditions.
    for (uint32_t reg : {0x3004u, 0x306Cu, 0x302Cu}) {
        Words words = link->WordsTo(reg);
        if (reg == 0x306C) // the trace enables of the take and its two reports
            words.erase(std::remove(words.begin(), words.end(), 0x00010000u), words.end());
        EXPECT_EQ(words, reg == c.armRegister ? Words{c.armValue} : Words{}) << std::hex << reg;
    }

    const Lines log = form.LogFrom(mark);
    ASSERT_EQ(log.size(), 5u + 1u + 20u + 1u + 20u + 1u);
    EXPECT_EQ(Lines(log.begin(), log.begin() + 5), kInitLines);
    EXPECT_EQ(log[5], "Checking current DCU state ...");
    EXPECT_EQ(log[6], "DCU registers states :");
    EXPECT_EQ(log[13], "Trap workspace register OP_TEMP :00000000");
    EXPECT_EQ(log[15], "Trapped status :");
    EXPECT_EQ(log[26], std::string("Setting ") + c.item + "...");
    EXPECT_EQ(log[27], "DCU registers states :");
    EXPECT_EQ(log[36], "Trapped status :");
    EXPECT_EQ(log.back(), kTapReset);
    // Before the arming no slot reports a trap; afterwards the Breakpoint slot does.
    auto trappedValue = [&](const std::string& slot, size_t from) {
        const std::string prefix = slot + " STATUS ";
        for (size_t i = from; i < from + 11; ++i)
            if (log[i].rfind(prefix, 0) == 0) return ParseHex(log[i].substr(prefix.size()));
        return uint64_t{0xDEAD};
    };
    EXPECT_EQ(trappedValue("BRK_TRAP_HIGH", 15), 0u);
    EXPECT_EQ(trappedValue("BRK_TRAP_HIGH", 36), 0x80000001u) << "Status valid, breakpoint cause";
    if (c.index != 0) {
        EXPECT_EQ(trappedValue(c.slotName, 36), 0u) << "its own slot took nothing";
    }

    // The agent now serves its mailbox.
    cmdGetDevCodeClick();
    EXPECT_TRUE(form.Logged("Flash Manufacturer CODE 0001"));
    EXPECT_TRUE(form.Visible("lblFlashCode"));
}

INSTANTIATE_TEST_SUITE_P(EachCondition, TakeTrapTest, ::testing::ValuesIn(kConditions),
                         [](const auto& info) {
                             return "Condition" + std::to_string(info.param.index);
                         });

TEST_F(TrapRoutineTest, TakeWithNoRoutineInstalledStillRunsEveryStep) {
    Start();
    const size_t mark = Mark();
    cmdLoadDCUClick();
    EXPECT_EQ(MailboxBase, 0u);
    EXPECT_EQ(link->writes.at(0).address, 0x00000014u) << "OP_TEMP clear at 0 + 20";
    EXPECT_EQ(link->WordsTo(0x3004), (Words{0x20000000}));
    EXPECT_EQ(form.LogFrom(mark).size(), 5u + 1u + 20u + 1u + 20u + 1u);
    EXPECT_TRUE(form.Logged("Setting Trap on interrupt..."));
}

} // namespace
} // namespace tapster::test
