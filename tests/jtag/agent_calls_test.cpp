#include "jtag/agent_calls.h"

#include "fake_target.h"
#include "jtag/link.h"
#include "jtag_fixture.h"
#include "ops/agent_reasons.h"

#include <string>
#include <vector>

namespace tapster::test {
namespace {

using Lines = std::vector<std::string>;

constexpr uint32_t kMailbox = 0x80000200;
const std::string kWaiting = "Waiting for release ...";
const std::string kBanner1 = "******** Canceled by user or timeout exceeded *********";
const std::string kBanner2 = "******** Operation terminated !!! *********";

// Serves the mailbox as the agent contract asks: a command written to +0 keeps it busy for
// busyPolls status reads, then it leaves its results and sets released (or aborted). It ignores
// the stop command, so a test decides the verdict.
class TestAgent {
  public:
    explicit TestAgent(FakeTarget& target) : t_(target) {
        t_.afterWrite = [this](uint32_t a, uint32_t n) {
            writes.push_back(a);
            if (a == kMailbox && n == 4) OnCommand(t_.Read32(kMailbox));
        };
        t_.beforeRead = [this](uint32_t a, uint32_t) {
            reads.push_back(a);
            if (a == kMailbox) OnPoll();
        };
    }

    uint32_t busyPolls = 0;
    bool answer = true;        // false: never answers
    bool abortInstead = false; // sets aborted (its own time limit) instead of released
    uint32_t manufacturer = 0x01, device = 0x2249, protection = 0x00;

    std::vector<uint32_t> commands; // every word written to +0
    std::vector<uint32_t> writes;   // addresses of every write
    std::vector<uint32_t> reads;    // addresses of every read
    uint32_t polls = 0;

    int Stops() const {
        int n = 0;
        for (uint32_t c : commands)
            n += c == AGENT_CMD_STOP ? 1 : 0;
        return n;
    }

  private:
    void OnCommand(uint32_t c) {
        commands.push_back(c);
        if (c == 0 || c == AGENT_CMD_STOP) return;
        pending_ = c;
        busy_ = busyPolls;
    }
    void OnPoll() {
        ++polls;
        if (pending_ == 0 || !answer) return;
        if (busy_ > 0) {
            --busy_;
            return;
        }
        if (pending_ == AGENT_CMD_READ_ID) {
            t_.Write32(kMailbox + 20, manufacturer);
            t_.Write32(kMailbox + 24, device);
        } else if (pending_ == AGENT_CMD_PROTECT_STATUS) {
            t_.Write32(kMailbox + 20, protection);
        }
        t_.Write32(kMailbox, pending_ | (abortInstead ? AGENT_ST_ABORTED : AGENT_ST_RELEASED));
        pending_ = 0;
    }

    FakeTarget& t_;
    uint32_t pending_ = 0;
    uint32_t busy_ = 0;
};

class AgentCallsTest : public JtagTest {
  protected:
    void SetUp() override {
        JtagTest::SetUp();
        target.recordEdges = false;
        Use(target);
        MailboxBase = kMailbox;
        EnterLinkScan();
        form.onEvent = [this](int n) { Guard(n); };
        logStart = form.LogLines().size();
    }
    // A wait nobody answers must not hang a test.
    void Guard(int events) {
        if (events > 200000) {
            ADD_FAILURE() << "agent wait did not end";
            AbortFlag = true;
        }
    }
    Lines Log() const { return form.LogFrom(logStart); }
    // Addresses of the writes at or after transaction `from`, offsets from the mailbox.
    std::vector<uint32_t> MailboxWrites(size_t from = 0) const {
        std::vector<uint32_t> v;
        for (size_t i = from; i < target.transactions.size(); ++i)
            if (target.transactions[i].command != 0x01) // not a read
                v.push_back(target.transactions[i].address - kMailbox);
        return v;
    }

    FakeTarget target;
    TestAgent agent{target};
    size_t logStart = 0;
};

TEST_F(AgentCallsTest, PrepareClearsCommandThenDcuControl) {
    PrepareAgent();
    ASSERT_EQ(target.transactions.size(), 2u);
    EXPECT_EQ(target.transactions[0].address, kMailbox);
    EXPECT_EQ(target.transactions[1].address, 0x3004u);
    EXPECT_EQ(target.WordsWrittenTo(kMailbox), (std::vector<uint32_t>{0}));
    EXPECT_EQ(target.WordsWrittenTo(0x3004), (std::vector<uint32_t>{0}));
}

TEST_F(AgentCallsTest, RamCopyOf4096BytesIsSixteen252BlocksAndOne64) {
    const uint32_t dest = kMailbox + kMbBuffer;
    for (uint32_t a = dest + 4096; a < dest + 4104; ++a)
        target.memory[a] = 0xEE;
    std::vector<uint8_t> data(4096);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 + i / 256);
    EXPECT_TRUE(SendToTargetRam(data.data(), 4096, dest));

    ASSERT_EQ(target.transactions.size(), 17u);
    for (uint32_t k = 0; k < 17; ++k) {
        EXPECT_EQ(target.transactions[k].command, k < 16 ? 0xFC : 0x40) << "block " << k;
        EXPECT_EQ(target.transactions[k].address, dest + 252 * k) << "block " << k;
    }
    for (uint32_t i = 0; i < 4096; ++i)
        ASSERT_EQ(target.Read8(dest + i), data[i]) << "offset " << i;
    for (uint32_t a = dest + 4096; a < dest + 4104; ++a)
        EXPECT_EQ(target.Read8(a), 0xEE);
    EXPECT_TRUE(Log().empty());
}

TEST_F(AgentCallsTest, RamCopyOfNothingSendsNothing) {
    EXPECT_TRUE(SendToTargetRam(nullptr, 0, kMailbox + kMbBuffer));
    EXPECT_TRUE(target.transactions.empty());
}

TEST_F(AgentCallsTest, RamCopyStopsAtTheFirstFailedBlock) {
    target.afterWrite = [this](uint32_t, uint32_t) {
        if (target.transactions.size() == 2) target.noAckAtByte = 0;
    };
    std::vector<uint8_t> data(1000, 0x11);
    EXPECT_FALSE(SendToTargetRam(data.data(), 1000, kMailbox + kMbBuffer));
    EXPECT_EQ(target.transactions.size(), 3u);
    EXPECT_EQ(Log(), (Lines{"No ACK while poke !!!"}));
}

TEST_F(AgentCallsTest, WaitReleasedAtFirstReadAddsNoDot) {
    target.Write32(kMailbox, AGENT_ST_RELEASED);
    EXPECT_TRUE(WaitForRelease());
    EXPECT_EQ(Log(), (Lines{kWaiting}));
    EXPECT_EQ(form.events, 0);
}

TEST_F(AgentCallsTest, WaitTakesBothBitsAsSuccess) {
    target.Write32(kMailbox, 0x0009);
    EXPECT_TRUE(WaitForRelease());
    EXPECT_EQ(Log(), (Lines{kWaiting}));
}

TEST_F(AgentCallsTest, WaitClearsBothFlagsWhenItStarts) {
    AbortFlag = true;
    StopRequest = true;
    target.Write32(kMailbox, AGENT_CMD_PROGRAM);
    agent.answer = false;
    form.onEvent = [this](int n) {
        Guard(n);
        if (n == 150) // second pause: the agent finishes
            target.Write32(kMailbox, AGENT_ST_RELEASED);
    };
    EXPECT_TRUE(WaitForRelease());
    EXPECT_EQ(agent.Stops(), 0);
    EXPECT_EQ(Log(), (Lines{kWaiting + ".."}));
}

TEST_F(AgentCallsTest, DotsWrapOntoANewLineAfter100Characters) {
    const auto run = [this](uint32_t polls) {
        agent.busyPolls = polls;
        WriteWord(kMailbox, AGENT_CMD_ERASE_CHIP);
        logStart = form.LogLines().size();
        EXPECT_TRUE(WaitForRelease());
        return Log();
    };
    EXPECT_EQ(run(77), (Lines{kWaiting + std::string(77, '.')})); // 100 characters
    EXPECT_EQ(run(78), (Lines{kWaiting + std::string(78, '.'), "."}));
    EXPECT_EQ(run(178), (Lines{kWaiting + std::string(78, '.'), std::string(101, '.'), "."}));
    for (const auto& line : form.LogLines())
        EXPECT_LE(line.size(), 101u);
}

TEST_F(AgentCallsTest, FailedStatusReadsLookLikeABusyAgent) {
    agent.busyPolls = 4;
    WriteWord(kMailbox, AGENT_CMD_ERASE_BLOCK);
    target.beforeRead = [this](uint32_t a, uint32_t) {
        ++agent.polls;
        // Reads 2 and 3 lose their reply; the agent answers at read 4.
        target.replyBytes = (agent.polls == 2 || agent.polls == 3) ? 3 : -1;
        if (agent.polls == 4) target.Write32(a, AGENT_ST_RELEASED);
    };
    logStart = form.LogLines().size();
    EXPECT_TRUE(WaitForRelease());
    EXPECT_EQ(Log(), (Lines{kWaiting + "..."}));
}

// An agent that never touches its command word is named once, after 3 s of polls; one that
// answers before then is not. The reason bits of an answer are said in words.
TEST_F(AgentCallsTest, AnUnansweredCommandWordGetsOneHintAndReasonsHaveWords) {
    for (uint32_t busy : {kNoAnswerPolls - 2u, kNoAnswerPolls + 40u}) {
        form.statuses.clear();
        agent.busyPolls = busy;
        WriteWord(kMailbox, AGENT_CMD_ERASE_BLOCK);
        EXPECT_TRUE(WaitForRelease());
        EXPECT_EQ(form.statuses, busy < kNoAnswerPolls ? std::vector<std::string>{}
                                                       : std::vector<std::string>{kNoAgentHint});
    }
    EXPECT_EQ(AgentReasonWords(AGENT_ST_ABORTED | kAgentReasonTimeout | kAgentReasonLocked),
              "the agent's time limit ran out; the block is locked or protected");
    EXPECT_EQ(AgentReasonWords(AGENT_ST_RELEASED | kAgentReasonSectorsSkipped),
              "sectors skipped: protected or locked");
}

// A cable that can no longer be reached (a remote server gone) reads TDO high for good, which
// looks like a busy agent: the wait ends as an abort answered No, without a stop it cannot send.
class LosableCable final : public PortBackend {
  public:
    explicit LosableCable(PortBackend& inner) : inner_(inner) {}
    void WriteRegister(uint16_t port, uint8_t value) override {
        if (!lost) inner_.WriteRegister(port, value);
    }
    uint8_t ReadRegister(uint16_t port) override { return lost ? 0xFF : inner_.ReadRegister(port); }
    bool Lost() const override { return lost; }
    std::string Name() const override { return "losable cable"; }
    bool lost = false;

  private:
    PortBackend& inner_;
};

TEST_F(AgentCallsTest, ALostCableEndsTheWaitAsAnAbortAnsweredNo) {
    agent.answer = false;
    WriteWord(kMailbox, AGENT_CMD_ERASE_CHIP);
    LosableCable cable(target);
    Use(cable);
    target.beforeRead = [&](uint32_t, uint32_t) {
        if (++agent.polls == 3) cable.lost = true; // the third status read never arrives
    };
    logStart = form.LogLines().size();
    const size_t from = target.transactions.size();
    EXPECT_FALSE(WaitForRelease());
    EXPECT_EQ(Log(), (Lines{kWaiting + "..", kBanner1, kBanner2}));
    EXPECT_EQ(agent.polls, 3u);
    EXPECT_EQ(MailboxWrites(from), std::vector<uint32_t>{}); // no stop into the void
    Use(target);
}

TEST_F(AgentCallsTest, AbortFlagEndsTheWaitWithOneStop) {
    agent.answer = false;
    WriteWord(kMailbox, AGENT_CMD_PROGRAM);
    form.onEvent = [this](int n) {
        Guard(n);
        if (n == 150) AbortFlag = true;
    };
    logStart = form.LogLines().size();
    const size_t from = target.transactions.size();
    EXPECT_FALSE(WaitForRelease());
    EXPECT_EQ(Log(), (Lines{kWaiting + "..", kBanner1, kBanner2}));
    EXPECT_EQ(agent.Stops(), 1);
    // The only write of the wait is that stop, and it is its last act.
    EXPECT_EQ(MailboxWrites(from), (std::vector<uint32_t>{0}));
    EXPECT_EQ(target.transactions.back().command, 0x04);
    EXPECT_EQ(target.WordsWrittenTo(kMailbox).back(), AGENT_CMD_STOP);
}

TEST_F(AgentCallsTest, ReleaseReadAfterAnAbortStillCountsAsSuccess) {
    // The user answers No during the first pause, but the agent has finished by the next read.
    agent.busyPolls = 1;
    WriteWord(kMailbox, AGENT_CMD_PROGRAM);
    form.onEvent = [this](int n) {
        Guard(n);
        if (n == 50) AbortFlag = true;
    };
    logStart = form.LogLines().size();
    EXPECT_TRUE(WaitForRelease());
    EXPECT_EQ(Log(), (Lines{kWaiting + "."}));
    EXPECT_EQ(agent.Stops(), 0);
}

TEST_F(AgentCallsTest, StopRequestSendsStopOnEveryPollUntilTheAgentAnswers) {
    agent.busyPolls = 5;
    WriteWord(kMailbox, AGENT_CMD_PROGRAM);
    form.onEvent = [](int n) {
        if (n == 50) // during the first pause
            StopRequest = true;
    };
    logStart = form.LogLines().size();
    EXPECT_TRUE(WaitForRelease());
    EXPECT_EQ(agent.Stops(), 4); // after reads 2, 3, 4 and 5; read 6 finds it released
    EXPECT_EQ(Log(), (Lines{kWaiting + "....."}));
}

TEST_F(AgentCallsTest, AgentAbortingOnItsOwnGetsBannersAndNoStop) {
    agent.busyPolls = 2;
    agent.abortInstead = true;
    WriteWord(kMailbox, AGENT_CMD_ERASE_CHIP);
    logStart = form.LogLines().size();
    EXPECT_FALSE(WaitForRelease());
    EXPECT_EQ(Log(), (Lines{kWaiting + "..", kBanner1, kBanner2}));
    EXPECT_EQ(agent.Stops(), 0);
}

TEST_F(AgentCallsTest, WriteFlashBlockWritesParametersThenCommandAndAdvancesTheBar) {
    form.SetRange("ProgressBar1", 0, 1 << 20);
    form.SetPosition("ProgressBar1", 4096);
    agent.busyPolls = 2;
    EXPECT_TRUE(WriteFlashBlock(kMailbox + 28, 0x7FE01000, 0x7FE00000, 4096));
    EXPECT_EQ(MailboxWrites(), (std::vector<uint32_t>{4, 8, 12, 16, 0}));
    EXPECT_EQ(target.WordsWrittenTo(kMailbox + 4), (std::vector<uint32_t>{0x7FE01000}));
    EXPECT_EQ(target.WordsWrittenTo(kMailbox + 8), (std::vector<uint32_t>{kMailbox + 28}));
    EXPECT_EQ(target.WordsWrittenTo(kMailbox + 12), (std::vector<uint32_t>{4096}));
    EXPECT_EQ(target.WordsWrittenTo(kMailbox + 16), (std::vector<uint32_t>{0x7FE00000}));
    EXPECT_EQ(target.WordsWrittenTo(kMailbox), (std::vector<uint32_t>{AGENT_CMD_PROGRAM}));
    EXPECT_EQ(form.Text("lblAdr"), "7FE01000");
    EXPECT_EQ(form.Position("ProgressBar1"), 8192);
    EXPECT_EQ(Log(), (Lines{"Writing flash addr 7FE01000", kWaiting + ".."}));
}

TEST_F(AgentCallsTest, WriteFlashBlockNotReleasedLeavesTheBar) {
    form.SetRange("ProgressBar1", 0, 1 << 20);
    agent.abortInstead = true;
    EXPECT_FALSE(WriteFlashBlock(kMailbox + 28, 0x7FE00000, 0x7FE00000, 100));
    EXPECT_EQ(form.Position("ProgressBar1"), 0);
    EXPECT_EQ(Log(), (Lines{"Writing flash addr 7FE00000", kWaiting, kBanner1, kBanner2,
                            "Flash programming NOT complete !!!"}));
}

TEST_F(AgentCallsTest, EraseChipWritesBaseThenCommand) {
    agent.busyPolls = 1;
    EXPECT_TRUE(EraseFlashChip(0x7FE00000));
    EXPECT_EQ(MailboxWrites(), (std::vector<uint32_t>{16, 0}));
    EXPECT_EQ(target.WordsWrittenTo(kMailbox), (std::vector<uint32_t>{AGENT_CMD_ERASE_CHIP}));
    EXPECT_EQ(Log(), (Lines{"Erasing flash, start addr 7FE00000", kWaiting + "."}));
}

TEST_F(AgentCallsTest, EraseChipWithFailedFirstWriteStopsBeforeTheCommand) {
    target.ackMode = FakeTarget::AckMode::Never;
    EXPECT_FALSE(EraseFlashChip(0x50000000));
    EXPECT_EQ(Log(), (Lines{"Erasing flash, start addr 50000000",
                            "Error writing data !!! Check hardware and destination address !!!"}));
    EXPECT_EQ(MailboxWrites(), (std::vector<uint32_t>{16}));
    EXPECT_TRUE(agent.reads.empty());
}

TEST_F(AgentCallsTest, EraseChipNotReleased) {
    agent.abortInstead = true;
    EXPECT_FALSE(EraseFlashChip(0x7FE00000));
    EXPECT_EQ(Log().back(), "Flash erasing NOT complete !!!");
}

TEST_F(AgentCallsTest, EraseBlockWritesAddressBaseCommand) {
    EXPECT_TRUE(EraseFlashBlock(0x7FE10000, 0x7FE00000));
    EXPECT_EQ(MailboxWrites(), (std::vector<uint32_t>{4, 16, 0}));
    EXPECT_EQ(target.WordsWrittenTo(kMailbox + 4), (std::vector<uint32_t>{0x7FE10000}));
    EXPECT_EQ(target.WordsWrittenTo(kMailbox), (std::vector<uint32_t>{AGENT_CMD_ERASE_BLOCK}));
    EXPECT_EQ(Log(), (Lines{"Erasing block, addr 7FE10000", kWaiting}));

    agent.abortInstead = true;
    logStart = form.LogLines().size();
    EXPECT_FALSE(EraseFlashBlock(0x7FE10000, 0x7FE00000));
    EXPECT_EQ(Log(), (Lines{"Erasing block, addr 7FE10000", kWaiting, kBanner1, kBanner2,
                            "Flash erasing NOT complete !!!"}));
}

TEST_F(AgentCallsTest, ReadFlashIdReadsDeviceThenManufacturer) {
    agent.manufacturer = 0x0001;
    agent.device = 0x2249;
    const FlashId id = ReadFlashId(0x7FE00000);
    EXPECT_TRUE(id.ok);
    EXPECT_EQ(id.manufacturer, 0x0001u);
    EXPECT_EQ(id.device, 0x2249u);
    EXPECT_EQ(MailboxWrites(), (std::vector<uint32_t>{16, 0}));
    EXPECT_EQ(target.WordsWrittenTo(kMailbox), (std::vector<uint32_t>{AGENT_CMD_READ_ID}));
    ASSERT_GE(agent.reads.size(), 2u);
    EXPECT_EQ(agent.reads[agent.reads.size() - 2], kMailbox + 24);
    EXPECT_EQ(agent.reads.back(), kMailbox + 20);
    EXPECT_EQ(Log(), (Lines{kWaiting}));
}

TEST_F(AgentCallsTest, ReadFlashIdFailureReadsNoResults) {
    agent.abortInstead = true;
    EXPECT_FALSE(ReadFlashId(0x7FE00000).ok);
    for (uint32_t a : agent.reads)
        EXPECT_EQ(a, kMailbox);
}

TEST_F(AgentCallsTest, ReadBlockProtectionWritesBaseAddressCommandAndReadsStatus) {
    agent.protection = 0x0001;
    agent.busyPolls = 1;
    const ProtectionStatus st = ReadBlockProtection(0x7FE00000, 0x7FE04000);
    EXPECT_TRUE(st.ok);
    EXPECT_EQ(st.status, 1u);
    EXPECT_EQ(MailboxWrites(), (std::vector<uint32_t>{16, 4, 0}));
    EXPECT_EQ(target.WordsWrittenTo(kMailbox + 4), (std::vector<uint32_t>{0x7FE04000}));
    EXPECT_EQ(agent.reads.back(), kMailbox + 20);

    agent.abortInstead = true;
    EXPECT_FALSE(ReadBlockProtection(0x7FE00000, 0x7FE04000).ok);
}

} // namespace
} // namespace tapster::test
