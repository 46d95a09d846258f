#include "jtag/link.h"

#include "fake_target.h"
#include "jtag/jtag_init.h"
#include "jtag_fixture.h"
#include "queued_port.h"
#include "scripted_port.h"

#include <array>
#include <string>
#include <vector>

namespace tapster::test {
namespace {

using Lines = std::vector<std::string>;

// --- Bit level, on a scripted TDO --------------------------------------------------------------

class LinkBitsTest : public JtagTest {
  protected:
    void SetUp() override {
        JtagTest::SetUp();
        Use(port);
    }
    ScriptedPort port;
};

TEST_F(LinkBitsTest, SendByteFramesDataAndTakesAckDuringDataBits) {
    port.tdo = [](uint64_t n) { return n == 1; }; // 0 then 1 on the first two data samples
    EXPECT_TRUE(SendByte(0x04));
    EXPECT_EQ(port.TdiFrom(0), (std::vector<int>{0, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(port.TmsFrom(0), std::vector<int>(12, 0));
    for (size_t i = 0; i < port.edges.size(); ++i)
        EXPECT_EQ(port.edges[i].sampled, i >= 3 && i < 11) << "edge " << i;
}

TEST_F(LinkBitsTest, FirstDataSampleOfOneIsAnAck) {
    port.tdo = [](uint64_t n) { return n == 0; };
    EXPECT_TRUE(SendByte(0xFF));
    EXPECT_EQ(port.edges.size(), 12u); // no wait after the data bits
}

TEST_F(LinkBitsTest, LateAckIsWaitedForUpToTheAckLimit) {
    // The acknowledge (1 then 0) completes on the (d + 3)-th clock after d7.
    for (int32_t delay : {0, 10}) {
        JtagDelay = delay;
        const uint32_t limit = static_cast<uint32_t>(delay) * 4 + 64;
        for (uint32_t d : {limit - 3, limit - 2}) {
            port.Clear();
            port.reads = 0;
            port.tdo = [d](uint64_t n) { return n == 8 + d + 1; };
            const bool ok = SendByte(0x5A);
            EXPECT_EQ(ok, d + 3 <= limit) << "JtagDelay " << delay << " d " << d;
            const size_t waited = ok ? d + 3 : limit;
            ASSERT_EQ(port.edges.size(), 3 + 8 + waited + 1);
            // While waiting the host keeps TDI low, then sends the closing 0.
            for (size_t i = 11; i < port.edges.size(); ++i)
                EXPECT_FALSE(port.edges[i].tdi);
        }
    }
}

TEST_F(LinkBitsTest, SendWordSendsAllFourBytesEvenWhenOneIsNotAcknowledged) {
    port.tdo = [](uint64_t) { return false; }; // no acknowledge at all
    EXPECT_FALSE(SendWord(0x11223344));
    EXPECT_EQ(port.edges.size(), 4u * (3 + 8 + 64 + 1));
}

TEST_F(LinkBitsTest, ReceiveByteReadsEightBitsAfterStartAndAcksOnTheFifth) {
    const std::vector<int> tdo = {0, 0, 1, 1, /*0xA5*/ 1, 0, 1, 0, 0, 1, 0, 1};
    port.tdo = [tdo](uint64_t n) { return n < tdo.size() && tdo[n] == 1; };
    const ReceivedByte r = ReceiveByte();
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.byte, 0xA5);
    EXPECT_EQ(port.TdiFrom(4), (std::vector<int>{0, 0, 0, 0, 1, 0, 0, 0}));
}

TEST_F(LinkBitsTest, WaitStartTimesOutAfterLimitQuietClocks) {
    EXPECT_FALSE(WaitStart(1024));
    EXPECT_EQ(port.reads, 1024u);
    const ReceivedByte r = ReceiveByte();
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.byte, 0);
}

TEST_F(LinkBitsTest, AckPatternRestartsTheStartWait) {
    // An acknowledge (1, 0) at clock 1000 of the wait, a start (1, 1) 1000 clocks later.
    port.tdo = [](uint64_t n) { return n == 999 || n == 1999 || n == 2000; };
    EXPECT_TRUE(WaitStart(StartLimit()));
    EXPECT_EQ(port.reads, 2001u);

    // Without the acknowledge the same start is too late.
    port.reads = 0;
    port.tdo = [](uint64_t n) { return n == 1999 || n == 2000; };
    EXPECT_FALSE(WaitStart(StartLimit()));
    EXPECT_EQ(port.reads, 1024u);
}

TEST_F(LinkBitsTest, TogglingTdoEndsInATimeoutAtTheOverallBound) {
    port.tdo = [](uint64_t n) { return n % 2 == 0; }; // acknowledge pattern every other clock
    EXPECT_FALSE(WaitStart(1024));
    EXPECT_EQ(port.reads, 16u * 1024);

    port.reads = 0;
    port.tdo = [](uint64_t n) { return n % 2 == 1; };
    EXPECT_TRUE(ReceiveByte().timedOut);
    EXPECT_EQ(port.reads, 16u * 1024);
}

TEST_F(LinkBitsTest, WaitAckDoesNotRestart) {
    port.tdo = [](uint64_t n) { return n == 70 || n == 71; };
    EXPECT_FALSE(WaitAck(64));
    EXPECT_EQ(port.reads, 64u);
}

TEST_F(LinkBitsTest, LimitsFollowJtagDelay) {
    EXPECT_EQ(StartLimit(), 1024u);
    EXPECT_EQ(AcknowledgeLimit(), 64u);
    JtagDelay = 300;
    EXPECT_EQ(StartLimit(), 3424u);
    EXPECT_EQ(AcknowledgeLimit(), 1264u);
}

// --- Memory operations against the fake target ------------------------------------------------

class LinkMemoryTest : public JtagTest {
  protected:
    void SetUp() override {
        JtagTest::SetUp();
        Use(target);
        for (uint32_t i = 0; i < 512; ++i)
            target.memory[kBase + i] = static_cast<uint8_t>(i * 3 + 1);
    }
    Lines LogAfterResets() const {
        Lines l;
        for (const auto& line : form.LogLines())
            if (line != "Reseting TAP ... Done.") l.push_back(line);
        return l;
    }
    static constexpr uint32_t kBase = 0x40000100;
    FakeTarget target;
};

TEST_F(LinkMemoryTest, LengthByteGivesTheByteCount) {
    struct Case {
        int length;
        uint32_t bytes;
    };
    for (Case c : {Case{0x00, 256}, Case{0x01, 256}, Case{0x02, 256}, Case{0x03, 256},
                   Case{0x05, 4}, Case{0xFF, 252}}) {
        target.lengthByte = c.length;
        std::array<uint8_t, 300> buffer;
        buffer.fill(0xEE);
        EXPECT_EQ(ReadBlock(kBase, buffer.data()), c.bytes) << "length " << c.length;
        for (uint32_t i = 0; i < c.bytes; ++i)
            ASSERT_EQ(buffer[i], static_cast<uint8_t>(i * 3 + 1)) << "byte " << i;
        for (size_t i = c.bytes; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xEE) << "written past the reply at " << i;
    }
    ASSERT_FALSE(target.transactions.empty());
    EXPECT_EQ(target.transactions.back().command, 0x01);
    EXPECT_EQ(target.transactions.back().address, kBase);
}

TEST_F(LinkMemoryTest, ShortReplyFailsTheRead) {
    target.replyBytes = 10;
    std::array<uint8_t, 256> buffer{};
    EXPECT_EQ(ReadBlock(kBase, buffer.data()), 0u);
}

TEST_F(LinkMemoryTest, UnacknowledgedReadCommandFailsAndStoresNothing) {
    target.noAckAtByte = 0;
    std::array<uint8_t, 256> buffer;
    buffer.fill(0xEE);
    EXPECT_EQ(ReadBlock(kBase, buffer.data()), 0u);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_TRUE(TapReady); // the link state survives a failure
}

TEST_F(LinkMemoryTest, UnacknowledgedAddressFailsTheRead) {
    target.noAckAtByte = 3;
    std::array<uint8_t, 256> buffer{};
    EXPECT_EQ(ReadBlock(kBase, buffer.data()), 0u);
}

TEST_F(LinkMemoryTest, WordRoundTripLittleEndian) {
    EXPECT_TRUE(WriteWord(0x80000010, 0x12345678));
    EXPECT_EQ(target.Read8(0x80000010), 0x78);
    EXPECT_EQ(target.Read8(0x80000013), 0x12);
    ASSERT_EQ(target.transactions.size(), 1u);
    EXPECT_EQ(target.transactions[0].command, 0x04);

    const WordRead w = ReadWord(0x80000010);
    EXPECT_FALSE(w.failed);
    EXPECT_EQ(w.value, 0x12345678u);
}

TEST_F(LinkMemoryTest, WriteWordCostsDrainPlusNineBytesOnceInTheLinkScan) {
    WriteWord(0x80000000, 1);
    const size_t from = target.edges.size();
    WriteWord(0x80000004, 2);
    EXPECT_EQ(target.edges.size() - from, 1135u);
    EXPECT_EQ(target.LinkClocksFrom(from), 1135u);
}

TEST_F(LinkMemoryTest, WriteWordSendsEverythingAndFailsWithoutAcks) {
    target.ackMode = FakeTarget::AckMode::Never;
    EXPECT_FALSE(WriteWord(0x80000010, 0xCAFEF00D));
    ASSERT_EQ(target.transactions.size(), 1u);
    EXPECT_TRUE(target.transactions[0].complete);
    EXPECT_EQ(target.Read32(0x80000010), 0xCAFEF00Du);
    EXPECT_TRUE(LogAfterResets().empty());
}

TEST_F(LinkMemoryTest, FailedReadWordGivesZero) {
    target.ackMode = FakeTarget::AckMode::Never;
    const WordRead w = ReadWord(kBase);
    EXPECT_TRUE(w.failed);
    EXPECT_EQ(w.value, 0u);
}

TEST_F(LinkMemoryTest, LateAcknowledgesStillWork) {
    target.ackMode = FakeTarget::AckMode::AfterData;
    target.ackDelay = 20;
    EXPECT_TRUE(WriteWord(0x80000020, 0xA1B2C3D4));
    EXPECT_EQ(ReadWord(0x80000020).value, 0xA1B2C3D4u);
}

TEST_F(LinkMemoryTest, WriteBlockOf252SendsCommandFC) {
    std::vector<uint8_t> data(252);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(255 - i);
    EXPECT_EQ(WriteBlock(0x80000800, data.data(), 252), 252u);
    ASSERT_EQ(target.transactions.size(), 1u);
    EXPECT_EQ(target.transactions[0].command, 0xFC);
    EXPECT_EQ(target.transactions[0].address, 0x80000800u);
    EXPECT_EQ(target.transactions[0].data, data);
    EXPECT_TRUE(LogAfterResets().empty());
}

TEST_F(LinkMemoryTest, WriteBlockNamesWhatWasNotAcknowledged) {
    EnterLinkScan();
    const std::vector<uint8_t> data(16, 0x42);
    struct Case {
        int byte;
        std::string line;
    };
    for (const Case& c : {Case{0, "No ACK while poke !!!"},
                          Case{1, "No ACK during transmition of address 80000800"},
                          Case{4, "No ACK during transmition of address 80000800"},
                          Case{5, "No ACK writing data to address 80000800"},
                          Case{12, "No ACK writing data to address 80000807"}}) {
        target.noAckAtByte = c.byte;
        target.transactions.clear();
        const size_t logFrom = form.LogLines().size();
        EXPECT_EQ(WriteBlock(0x80000800, data.data(), 16), 0u);
        EXPECT_EQ(form.LogFrom(logFrom), (Lines{c.line})) << "byte " << c.byte;
        // Nothing is sent after the byte that failed (a failed address is sent whole).
        ASSERT_EQ(target.transactions.size(), 1u);
        const size_t sentData = c.byte >= 5 ? static_cast<size_t>(c.byte - 5 + 1) : 0;
        EXPECT_EQ(target.transactions[0].data.size(), sentData);
    }
}

TEST_F(LinkMemoryTest, EnterLinkScanIsRepeatedAfterAReset) {
    EXPECT_TRUE(WriteWord(0x80000000, 0x11111111));
    TapReset();
    EXPECT_TRUE(WriteWord(0x80000004, 0x22222222));
    EXPECT_EQ(form.LogLines(), (Lines(3, "Reseting TAP ... Done.")));
    EXPECT_EQ(target.Read32(0x80000004), 0x22222222u);
}

// Drain: how many bytes in a row each operation tolerates before it gives up.

TEST_F(LinkMemoryTest, ReadBlockGivesUpAfterStartLimitPlusOneBytes) {
    std::array<uint8_t, 256> buffer{};
    target.keepSending = 1025;
    EXPECT_EQ(ReadBlock(kBase, buffer.data()), 0u);
    EXPECT_TRUE(target.transactions.empty()); // nothing sent
    EXPECT_TRUE(LogAfterResets().empty());

    FakeTarget fresh;
    fresh.memory = target.memory;
    fresh.keepSending = 1024;
    Use(fresh);
    TapReady = false;
    EXPECT_EQ(ReadBlock(kBase, buffer.data()), 256u);
    EXPECT_EQ(buffer[1], 4);
}

TEST_F(LinkMemoryTest, WriteBlockGivesUpAfterStartLimitBytesWithThreeLines) {
    JtagDelay = 2; // start limit 1040
    const std::vector<uint8_t> data(8, 0x99);
    target.keepSending = 1040;
    EXPECT_EQ(WriteBlock(0x80000800, data.data(), 8), 0u);
    EXPECT_EQ(LogAfterResets(),
              (Lines{"START was received during 00000410 cycles",
                     "Following data received 0000003F", // the 1040th byte, 1039 + 0x30
                     "Writing is impossible !!!"}));
    EXPECT_TRUE(target.transactions.empty());

    FakeTarget fresh;
    fresh.keepSending = 1039;
    Use(fresh);
    TapReady = false;
    EXPECT_EQ(WriteBlock(0x80000800, data.data(), 8), 8u);
    EXPECT_EQ(fresh.Read8(0x80000807), 0x99);
}

TEST_F(LinkMemoryTest, WriteWordGivesUpAfter1023Bytes) {
    target.keepSending = 1023;
    EXPECT_FALSE(WriteWord(0x80000010, 5));
    EXPECT_TRUE(target.transactions.empty());
    EXPECT_TRUE(LogAfterResets().empty());

    FakeTarget fresh;
    fresh.keepSending = 1022;
    Use(fresh);
    TapReady = false;
    EXPECT_TRUE(WriteWord(0x80000010, 5));
    EXPECT_EQ(fresh.Read32(0x80000010), 5u);
}

TEST_F(LinkMemoryTest, EndlessSenderFailsEveryOperation) {
    target.keepSending = FakeTarget::kEndless;
    std::array<uint8_t, 256> buffer{};
    EXPECT_EQ(ReadBlock(kBase, buffer.data()), 0u);
    EXPECT_FALSE(WriteWord(kBase, 1));
    EXPECT_TRUE(ReadWord(kBase).failed);
    EXPECT_TRUE(target.transactions.empty());
}

// --- The same wire when the cable queues its samples --------------------------------------------

// What a run of the link put on the wire and got back, to compare a cable at hand with one that
// queues its samples (a remote server).
struct LinkRun {
    std::string results;
    std::string edges;
    std::vector<std::string> log;
    uint64_t hash = 0;
    uint64_t accesses = 0;
    uint64_t roundTrips = 0;
};

LinkRun RunLink(TestForm& form, const std::function<void(FakeTarget&)>& configure, size_t buffer,
                int32_t delay) {
    ResetTapEngineState();
    JtagDelay = delay;
    const size_t logFrom = form.LogFrom(0).size();
    FakeTarget target;
    for (uint32_t i = 0; i < 256; ++i)
        target.memory[0x80000100 + i] = static_cast<uint8_t>(i * 5 + 3);
    configure(target);
    QueuedPort port(target, buffer);
    SetPortBackend(&port);
    LinkRun run;
    const auto note = [&run](const std::string& what, uint64_t value) {
        run.results += what + "=" + std::to_string(value) + " ";
    };
    note("writeWord", WriteWord(0x80000010, 0xCAFEF00D));
    const WordRead w = ReadWord(0x80000010);
    note("readWord", w.value);
    note("readFailed", w.failed);
    const uint8_t data[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    note("writeBlock", WriteBlock(0x80000020, data, 16));
    uint8_t buffer256[256] = {};
    note("readBlock", ReadBlock(0x80000100, buffer256));
    for (uint8_t b : buffer256)
        run.results += std::to_string(b) + ",";
    TapReset();
    note("loopback", LoopbackTest(300));
    SetPortBackend(nullptr);
    for (const FakeTarget::Edge& e : target.edges)
        run.edges += static_cast<char>('a' + (e.tms ? 1 : 0) + (e.tdi ? 2 : 0) +
                                       (e.control ? 4 : 0) + (e.linkClock ? 8 : 0));
    run.log = form.LogFrom(logFrom);
    run.hash = port.Hash();
    run.accesses = port.Accesses();
    run.roundTrips = port.RoundTrips();
    EXPECT_EQ(port.Overflows(), 0u);
    EXPECT_EQ(port.Unread(), 0u);
    return run;
}

// Every kind of target behaviour the link copes with: the clocks that run ahead of their samples
// are exactly the clocks the clock-by-clock protocol issues, so the target sees the same bits
// and the host gets the same results.
TEST_F(JtagTest, QueuedSamplesLeaveTheWireAsItIsForEveryTargetBehaviour) {
    using Mode = FakeTarget::AckMode;
    struct Case {
        const char* name;
        std::function<void(FakeTarget&)> configure;
        int32_t delay;
        bool loopbackFails;
    };
    const Case cases[] = {
        {"acknowledges during data", [](FakeTarget&) {}, 0, false},
        {"at a longer delay", [](FakeTarget&) {}, 7, false},
        {"acknowledges on the first sample", [](FakeTarget& t) { t.ackMode = Mode::FirstSample; },
         0, false},
        {"acknowledges late",
         [](FakeTarget& t) {
             t.ackMode = Mode::AfterData;
             t.ackDelay = 20;
         },
         0, false},
        {"acknowledges past the limit",
         [](FakeTarget& t) {
             t.ackMode = Mode::AfterData;
             t.ackDelay = 70;
         },
         0, false},
        {"never acknowledges", [](FakeTarget& t) { t.ackMode = Mode::Never; }, 0, false},
        {"misses the address", [](FakeTarget& t) { t.noAckAtByte = 3; }, 0, false},
        {"sends a few bytes unasked", [](FakeTarget& t) { t.keepSending = 5; }, 0, false},
        {"keeps sending", [](FakeTarget& t) { t.keepSending = FakeTarget::kEndless; }, 0, false},
        {"odd length byte", [](FakeTarget& t) { t.lengthByte = 0x05; }, 0, false},
        {"short reply", [](FakeTarget& t) { t.replyBytes = 10; }, 0, false},
        {"late reply", [](FakeTarget& t) { t.replyDelay = 900; }, 0, false},
        {"TDO stuck low", [](FakeTarget& t) { t.tdoMode = FakeTarget::TdoMode::StuckLow; }, 0,
         true},
        {"TDO stuck high", [](FakeTarget& t) { t.tdoMode = FakeTarget::TdoMode::StuckHigh; }, 0,
         true},
        {"TDO toggling", [](FakeTarget& t) { t.tdoMode = FakeTarget::TdoMode::Toggling; }, 0,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LinkRun atHand = RunLink(form, c.configure, 1, c.delay);
        const LinkRun queued = RunLink(form, c.configure, 1024, c.delay);
        EXPECT_EQ(queued.results, atHand.results);
        EXPECT_EQ(queued.log, atHand.log);
        EXPECT_EQ(atHand.results.find("loopback=1") != std::string::npos, !c.loopbackFails);
        if (!c.loopbackFails) {
            EXPECT_TRUE(queued.edges == atHand.edges)
                << queued.edges.size() << " clocks queued, " << atHand.edges.size() << " at hand";
            EXPECT_EQ(queued.hash, atHand.hash);
            EXPECT_EQ(queued.accesses, atHand.accesses);
        } else {
            // Only a failed loop-back comparison differs: the clocks already run ahead of it
            // (bypass shifts, TMS low) follow it on the wire; everything before is the same.
            ASSERT_GE(queued.edges.size(), atHand.edges.size());
            EXPECT_TRUE(queued.edges.compare(0, atHand.edges.size(), atHand.edges) == 0);
            const std::string extra = queued.edges.substr(atHand.edges.size());
            EXPECT_LT(extra.size(), 1024u);
            EXPECT_EQ(extra.find_first_not_of("eg"), std::string::npos) << extra;
        }
        EXPECT_LT(queued.roundTrips * 4, atHand.roundTrips) << "the clocks did not run ahead";
    }
}

} // namespace
} // namespace tapster::test
