// "Check existing" and the DCU reports on the simulated board.
#include "board_session.h"
#include "core/hex.h"
#include "ops/dcu_tables.h"

namespace tapster::test {
namespace {

using Lines = std::vector<std::string>;

const std::string kDash46(46, '-');
const std::string kDash42(42, '-');

// The 40 survey lines with each value given by `value(address)`.
template <typename F> Lines SurveyLines(F value) {
    Lines out = {kDash46, "Reading DCU state ...", kDash46};
    out.push_back("DCU_STATUS " + Hex8(value(0x3000)));
    out.push_back("DCU_CONTROL " + Hex8(value(0x3004)));
    out.insert(out.end(), {kDash46, "Reading trap configuration ...", kDash46});
    const char* slots[] = {"BRK_TRAP_HIGH", "ERR_TRAP_HIGH", "SYS_TRAP_HIGH", "SCHED_TRAP_HIGH",
                           "BRK_TRAP_LOW",  "ERR_TRAP_LOW",  "SYS_TRAP_LOW",  "SCHED_TRAP_LOW"};
    const char* words[] = {"ENABLES", "STATUS", "WPTR", "IPTR"};
    for (uint32_t k = 0; k < 8; ++k)
        for (uint32_t w = 0; w < 4; ++w)
            out.push_back(std::string(slots[k]) + "+" + words[w] + " " +
                          Hex8(value(0x80000040 + 0x20 * k + 4 * w)));
    return out;
}

class TrapSurveyTest : public BoardTest {};

TEST_F(TrapSurveyTest, AfterAnInstallShowsTheSlotsPointingAtTheRoutine) {
    Start();
    for (const char* box : {"chkLowPri", "chkErrTrap", "chkSysTrap", "chkSchedTrap"})
        form.SetChecked(box, true);
    form.SetText("lstTrapAddr", "80001000");
    cmdInstTrapClick();
    MailboxBase = 0x12345678; // the survey must leave it alone
    link->Clear();
    const size_t mark = Mark();

    cmdChkTrapsClick();

    const Lines log = form.LogFrom(mark);
    ASSERT_EQ(log.size(), 5u + 40u + 1u);
    const uint32_t control = board->Bus().Read32(0x3004);
    Lines expected = InitThen(SurveyLines([&](uint32_t a) -> uint32_t {
        if (a == 0x3004) return control;
        if (a < 0x80000000)
            return 0; // the status word, which moves with the CPU: taken from the log below
        const uint32_t slot = (a - 0x80000040) / 0x20, word = (a - 0x80000040) % 0x20;
        const uint32_t enables[] = {0, 6, 0x38, 0x3FC0};
        switch (word) {
        case 0x0:
            return enables[slot % 4];
        case 0x8:
            return 0x80001200;
        case 0xC:
            return 0x80001000;
        default:
            return board->Bus().Read32(a);
        }
    }));
    ASSERT_EQ(log[8].rfind("DCU_STATUS ", 0), 0u);
    expected[8] = log[8];
    EXPECT_EQ(log, expected);
    EXPECT_EQ(MailboxBase, 0x12345678u);
    EXPECT_TRUE(link->writes.empty()) << "the survey only reads";
    // 34 reads, ascending: the two registers, then words +0, +4, +8, +C of each slot.
    Lines reads = {"R00003000", "R00003004"};
    for (uint32_t k = 0; k < 8; ++k)
        for (uint32_t w = 0; w < 4; ++w)
            reads.push_back("R" + Hex8(0x80000040 + 0x20 * k + 4 * w));
    EXPECT_EQ(link->sequence, reads);
}

TEST_F(TrapSurveyTest, WithNoTargetEveryValueIsZeroAndTheSurveyCompletes) {
    board::BoardConfig config;
    config.faults.noTarget = true;
    Start(config);
    const size_t mark = Mark();
    cmdChkTrapsClick();
    EXPECT_EQ(form.LogFrom(mark), InitThen(SurveyLines([](uint32_t) { return 0u; })));
    EXPECT_TRUE(form.errorBoxes.empty());
}

TEST_F(TrapSurveyTest, ReportsReadOpTempAtTheMailboxAndPairTrappedStatusHighLow) {
    Start();
    board->Bus().Write32(0x80000A14, 0xCAFEF00D); // OP_TEMP of a mailbox at 0x80000A00
    board->Bus().Write32(0x800000D4, 0x0000BEEF); // BRK_TRAP_LOW trapped status
    MailboxBase = 0x80000A00;
    cmdChkTrapsClick(); // claims the port and initialises the chain
    EnterLinkScan();
    const size_t mark = Mark();
    link->Clear();

    ReportDcuRegisters();
    ReportTrappedStatus();

    const Lines log = form.LogFrom(mark);
    ASSERT_EQ(log.size(), 9u + 11u);
    EXPECT_EQ(log[0], "DCU registers states :");
    EXPECT_EQ(log[1], kDash42);
    EXPECT_EQ(log[2].substr(0, 11), "DCU_STATUS ");
    EXPECT_EQ(log[3].substr(0, 12), "DCU_CONTROL ");
    EXPECT_EQ(log[4].substr(0, 19), "DCU_JUMPTRACE_IPTR ");
    EXPECT_EQ(log[5].substr(0, 15), "DCU_WP_ADDRESS ");
    EXPECT_EQ(log[6], kDash42);
    EXPECT_EQ(log[7], "Trap workspace register OP_TEMP :CAFEF00D");
    EXPECT_EQ(log[8], kDash42);
    EXPECT_EQ(log[9], "Trapped status :");
    EXPECT_EQ(log[10], kDash42);
    const Lines trapped(log.begin() + 11, log.end() - 1);
    EXPECT_EQ(trapped,
              (Lines{"BRK_TRAP_HIGH STATUS 00000000", "BRK_TRAP_LOW STATUS 0000BEEF",
                     "ERR_TRAP_HIGH STATUS 00000000", "ERR_TRAP_LOW STATUS 00000000",
                     "SYS_TRAP_HIGH STATUS 00000000", "SYS_TRAP_LOW STATUS 00000000",
                     "SCHED_TRAP_HIGH STATUS 00000000", "SCHED_TRAP_LOW STATUS 00000000"}));
    EXPECT_EQ(log.back(), kDash42);
    // The trace registers are enabled, jump trace first, after the two DCU registers and before
    // the trace and watchpoint registers are read; then OP_TEMP and the trapped-status words.
    EXPECT_EQ(link->WordsTo(0x308C), (std::vector<uint32_t>{0x00010000}));
    EXPECT_EQ(link->WordsTo(0x306C), (std::vector<uint32_t>{0x00010000}));
    EXPECT_EQ(link->sequence,
              (Lines{"R00003000", "R00003004", "W0000308C", "W0000306C", "R00003080", "R00003068",
                     "R80000A14", "R80000054", "R800000D4", "R80000074", "R800000F4", "R80000094",
                     "R80000114", "R800000B4", "R80000134"}));
}

TEST_F(TrapSurveyTest, OpTempWithNoMailboxIsReadAtAddress14) {
    Start();
    cmdChkTrapsClick();
    link->Clear();
    ReportDcuRegisters();
    const auto& reads = link->reads;
    ASSERT_EQ(reads.size(), 5u);
    EXPECT_EQ(reads.back().address, 0x00000014u);
}

TEST_F(TrapSurveyTest, RefreshFillsTheFiveMonitorEditsFromTheirRegisters) {
    Start();
    cmdChkTrapsClick();
    EnterLinkScan();
    link->Clear();
    const size_t mark = Mark();
    RefreshDcuMonitor();
    EXPECT_EQ(Mark(), mark) << "the refresh logs nothing";
    EXPECT_EQ(link->sequence, (Lines{"R00003000", "R00003004", "W0000308C", "W0000306C",
                                     "R00003080", "R00003084", "R00003068"}));
    // The board's CPU runs between transactions; the control register stays as written.
    EXPECT_EQ(form.Text("txtControl"), Hex8(board->Bus().Read32(0x3004)));
    for (const char* edit : {"txtStatus", "txtJTIptr", "txtJTFrom", "txtWPAdr"})
        EXPECT_EQ(form.Text(edit).size(), 8u) << edit;
    EXPECT_NE(form.Text("txtJTIptr"), "00000000") << "the running CPU leaves a jump trace";
}

TEST_F(TrapSurveyTest, AFailedClaimShowsTheBoxAndDoesNothingElse) {
    Start();
    win::standin::FailCall("OpenSCManagerA", 5);
    cmdChkTrapsClick();
    EXPECT_EQ(form.errorBoxes, (std::vector<std::string>{"The parallel port could not be opened"}));
    EXPECT_FALSE(form.Logged("Reading DCU state ..."));
    EXPECT_TRUE(link->reads.empty());
}

} // namespace
} // namespace tapster::test
