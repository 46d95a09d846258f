// The JTAG unit against the simulated board: identification, loop-back, the link operations with
// the board's link faults, and the agent calls with the board's agent running in a trap.
#include "board/board.h"
#include "flash_agent.h"
#include "jtag/agent_calls.h"
#include "jtag/jtag_init.h"
#include "jtag/link.h"
#include "jtag_fixture.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace tapster::test {
namespace {

using Lines = std::vector<std::string>;

class BoardJtagTest : public JtagTest {
  protected:
    board::Board& Start(board::BoardConfig config = {}) {
        SetPortBackend(nullptr);
        board_ = std::make_unique<board::Board>(std::move(config));
        Use(*board_);
        return *board_;
    }
    // JTAG initialised and the log cleared of its lines.
    board::Board& StartInitialised(board::BoardConfig config = {}) {
        board::Board& b = Start(std::move(config));
        InitJtag();
        logStart_ = form.LogLines().size();
        return b;
    }
    Lines LogSinceStart() const {
        Lines l;
        for (const auto& line : form.LogFrom(logStart_))
            if (line != "Reseting TAP ... Done.") l.push_back(line);
        return l;
    }

    std::unique_ptr<board::Board> board_;
    size_t logStart_ = 0;
};

board::BoardConfig Cpu(const std::string& cpu, uint32_t idcode = 0) {
    board::BoardConfig c;
    c.cpu = cpu;
    if (idcode != 0) c.idcode = idcode;
    return c;
}

TEST_F(BoardJtagTest, IdentifiesEachCpu) {
    struct Case {
        board::BoardConfig config;
        std::string line;
        bool read = true; // an IDCODE was read (an unknown one is no error)
    };
    board::BoardConfig noTarget;
    noTarget.faults.noTarget = true;
    board::BoardConfig toggling;
    toggling.faults.tdoToggling = true;
    for (const Case& c :
         {Case{Cpu("STi5510"), "CPU type: STi5510"}, Case{Cpu("STi5512"), "CPU type: STi5512"},
          Case{Cpu("custom", 0x0ABC0041), "CPU IDCODE: 0ABC0041"},
          Case{noTarget, "Check JTAG hardware !!!", false},
          Case{toggling, "CPU IDCODE: AAAAAAAA", false}}) {
        Start(c.config);
        const size_t from = form.LogLines().size();
        EXPECT_EQ(IdentifyCpu(), c.read) << c.line;
        EXPECT_EQ(form.LogFrom(from), (Lines{"Initializing JTAG ...", "Reseting TAP ... Done.",
                                             "Setting TAP on Run-Test/Idle state ...", "Done",
                                             "Reseting TAP ... Done.", c.line}));
        EXPECT_FALSE(board_->ControlLineHigh()) << c.line; // released
    }
}

TEST_F(BoardJtagTest, LoopbackPassesOnAGoodCable) {
    StartInitialised();
    const int before = ResetLines();
    EXPECT_TRUE(LoopbackTest(10));
    EXPECT_TRUE(LoopbackTest(100000));
    EXPECT_EQ(ResetLines() - before, 4);
}

TEST_F(BoardJtagTest, LoopbackFailsOnStuckTdo) {
    for (bool stuckHigh : {false, true}) {
        board::BoardConfig c;
        c.faults.tdoStuckLow = !stuckHigh;
        c.faults.noTarget = stuckHigh; // TDO reads 1 always
        StartInitialised(c);
        const int before = ResetLines();
        EXPECT_FALSE(LoopbackTest(1000)) << "stuck high " << stuckHigh;
        EXPECT_EQ(ResetLines() - before, 1) << "stuck high " << stuckHigh;
    }
}

TEST_F(BoardJtagTest, LoopbackTellsTogglingTdoOnlyInOnePhase) {
    // TDI alternates on the compared clocks, so a TDO toggling on every clock is taken for a
    // working bypass register when its phase happens to match, and fails in the other phase.
    board::BoardConfig c;
    c.faults.tdoToggling = true;
    StartInitialised(c);
    const bool first = LoopbackTest(1000);
    TmsClock(true); // one clock shifts the phase
    const bool second = LoopbackTest(1000);
    EXPECT_NE(first, second);
}

TEST_F(BoardJtagTest, WordsAndBlocksRoundTrip) {
    StartInitialised();
    EXPECT_TRUE(WriteWord(0x40000010, 0x89ABCDEF));
    const WordRead w = ReadWord(0x40000010);
    EXPECT_FALSE(w.failed);
    EXPECT_EQ(w.value, 0x89ABCDEFu);

    std::vector<uint8_t> data(252);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i ^ 0x5A);
    EXPECT_EQ(WriteBlock(0x80001000, data.data(), 252), 252u);
    std::array<uint8_t, 256> buffer{};
    EXPECT_EQ(ReadBlock(0x80001000, buffer.data()), 256u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), buffer.begin()));
    EXPECT_TRUE(LogSinceStart().empty());
}

TEST_F(BoardJtagTest, ReplyLengthByteDecidesTheCount) {
    board::Board& b = StartInitialised();
    std::array<uint8_t, 256> buffer{};
    struct Case {
        uint8_t length;
        uint32_t bytes;
    };
    for (Case c : {Case{0x03, 256}, Case{0x05, 4}, Case{0xFF, 252}}) {
        b.ForceReplyLength(c.length);
        EXPECT_EQ(ReadBlock(0x7FFE0000, buffer.data()), c.bytes) << int(c.length);
    }
}

TEST_F(BoardJtagTest, LateAcknowledgeIsWaitedForWithinTheLimit) {
    board::BoardConfig c;
    c.link.ackDuringData = false;
    c.link.ackDelayClocks = 20;
    StartInitialised(c);
    EXPECT_TRUE(WriteWord(0x40000020, 0x01020304));
    EXPECT_EQ(ReadWord(0x40000020).value, 0x01020304u);

    c.link.ackDelayClocks = 100; // beyond 64 clocks at JtagDelay 0, within 144 at 20
    StartInitialised(c);
    EXPECT_FALSE(WriteWord(0x40000020, 0x01020304));
    JtagDelay = 20;
    EXPECT_TRUE(WriteWord(0x40000020, 0x01020304));
}

TEST_F(BoardJtagTest, SilentTargetFailsWritesWithTheirMessages) {
    board::BoardConfig c;
    c.faults.neverAcknowledge = true;
    StartInitialised(c);
    const std::vector<uint8_t> data(8, 1);
    EXPECT_EQ(WriteBlock(0x40000000, data.data(), 8), 0u);
    EXPECT_FALSE(WriteWord(0x40000000, 1));
    EXPECT_TRUE(ReadWord(0x40000000).failed);
    EXPECT_EQ(LogSinceStart(), (Lines{"No ACK while poke !!!"}));
}

TEST_F(BoardJtagTest, TargetThatKeepsSendingMakesWritingImpossible) {
    board::BoardConfig c;
    c.faults.keepsSending = true;
    StartInitialised(c);
    const std::vector<uint8_t> data(8, 1);
    EXPECT_EQ(WriteBlock(0x40000000, data.data(), 8), 0u);
    EXPECT_EQ(LogSinceStart(),
              (Lines{"START was received during 00000400 cycles",
                     "Following data received 000000A5", "Writing is impossible !!!"}));
    EXPECT_FALSE(WriteWord(0x40000000, 1));
    EXPECT_TRUE(ReadWord(0x40000000).failed);
}

TEST_F(BoardJtagTest, TogglingTdoTimesOut) {
    board::BoardConfig c;
    c.faults.tdoToggling = true;
    StartInitialised(c);
    // The start wait gives up at its overall bound: the read gets no length byte and no data.
    // (A write looks acknowledged: every 0-to-1 step of TDO during the data bits is an
    // acknowledge.)
    EXPECT_TRUE(ReadWord(0x40000000).failed);
}

// --- The agent in a trap ------------------------------------------------------------------------

class BoardAgentTest : public BoardJtagTest {
  protected:
    static constexpr uint32_t kRoutine = 0x80001000;
    static constexpr uint32_t kMailbox = kRoutine + 0x200;
    static constexpr uint32_t kFlash = 0x7FE00000;

    // Loads the flash agent (src/agent, padded to the host's 484 bytes), points BRK_TRAP_HIGH at
    // it (every DCU trap enters the Breakpoint slot of the running priority) and arms the trap
    // at the next instruction, as the trap commands do; the next transaction takes the trap.
    void StartAgent(board::BoardConfig config = {}) {
        StartInitialised(std::move(config));
        const auto image = kFlashAgentBytes();
        std::vector<uint8_t> routine(image.begin(), image.end());
        routine.resize(484, 0x00);
        ASSERT_EQ(WriteBlock(kRoutine, routine.data(), 252), 252u);
        ASSERT_EQ(WriteBlock(kRoutine + 252, routine.data() + 252, 232), 232u);
        ASSERT_TRUE(WriteWord(0x80000040 + 0x0C, kRoutine));
        ASSERT_TRUE(WriteWord(0x80000040 + 0x08, kMailbox));
        ASSERT_TRUE(WriteWord(0x3004, 1u << 28));
        ASSERT_FALSE(ReadWord(0x3000).failed);
        MailboxBase = kMailbox;
        PrepareAgent();
        logStart_ = form.LogLines().size();
        form.onEvent = [](int n) {
            if (n > 100000) {
                ADD_FAILURE() << "agent wait did not end";
                AbortFlag = true;
            }
        };
    }
    std::vector<uint8_t> ReadBack(uint32_t address, uint32_t count) {
        std::vector<uint8_t> out;
        std::array<uint8_t, 256> buffer{};
        for (uint32_t o = 0; o < count; o += 256) {
            EXPECT_EQ(ReadBlock(address + o, buffer.data()), 256u);
            out.insert(out.end(), buffer.begin(), buffer.end());
        }
        out.resize(count);
        return out;
    }
};

TEST_F(BoardAgentTest, IdentifiesTheFlashChip) {
    StartAgent();
    const FlashId id = ReadFlashId(kFlash);
    EXPECT_TRUE(id.ok);
    EXPECT_NE(id.manufacturer, 0u);
    EXPECT_NE(id.device, 0u);
    EXPECT_EQ(LogSinceStart().size(), 1u);
    EXPECT_EQ(LogSinceStart()[0].rfind("Waiting for release ...", 0), 0u);
}

TEST_F(BoardAgentTest, ProgramsAChunkFromTheAgentBuffer) {
    StartAgent();
    ASSERT_TRUE(EraseFlashBlock(kFlash, kFlash));
    std::vector<uint8_t> chunk(4096);
    for (size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<uint8_t>(i * 13 + 7);
    ASSERT_TRUE(SendToTargetRam(chunk.data(), 4096, kMailbox + kMbBuffer));
    form.SetRange("ProgressBar1", 0, 1 << 21);
    EXPECT_TRUE(WriteFlashBlock(kMailbox + kMbBuffer, kFlash, kFlash, 4096));
    EXPECT_EQ(form.Position("ProgressBar1"), 4096);
    EXPECT_EQ(ReadBack(kFlash, 4096), chunk);
}

TEST_F(BoardAgentTest, EraseChipLeavesFlashErased) {
    StartAgent();
    const std::vector<uint8_t> bytes(8, 0x00);
    ASSERT_TRUE(SendToTargetRam(bytes.data(), 8, kMailbox + kMbBuffer));
    ASSERT_TRUE(WriteFlashBlock(kMailbox + kMbBuffer, kFlash + 0x100, kFlash, 8));
    EXPECT_TRUE(EraseFlashChip(kFlash));
    EXPECT_EQ(ReadBack(kFlash, 512), std::vector<uint8_t>(512, 0xFF));
}

// A chip that never finishes gives up at once (busy times 0): the agent ends the call aborted.
TEST_F(BoardAgentTest, AgentGivingUpEndsTheWaitWithBanners) {
    board::BoardConfig c;
    c.flash.faults.neverFinishes = true;
    c.flash.busyPercent = 0;
    StartAgent(c);
    EXPECT_FALSE(EraseFlashChip(kFlash));
    const Lines log = LogSinceStart();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[log.size() - 3], "******** Canceled by user or timeout exceeded *********");
    EXPECT_EQ(log[log.size() - 2], "******** Operation terminated !!! *********");
    EXPECT_EQ(log.back(), "Flash erasing NOT complete !!!");
}

TEST_F(BoardAgentTest, AbortFlagStopsTheAgent) {
    board::BoardConfig c;
    c.flash.busyPercent = 100; // a chip erase of thousands of polls
    StartAgent(c);
    const int start = form.events;
    form.onEvent = [start](int n) {
        if (n == start + 250) // in the third pause
            AbortFlag = true;
    };
    EXPECT_FALSE(EraseFlashChip(kFlash));
    EXPECT_EQ(LogSinceStart().back(), "Flash erasing NOT complete !!!");
    // The stop command reached the agent: its next answer is the aborted bit.
    const WordRead status = ReadWord(kMailbox);
    EXPECT_FALSE(status.failed);
    EXPECT_NE(status.value & AGENT_ST_ABORTED, 0u);
}

} // namespace
} // namespace tapster::test
