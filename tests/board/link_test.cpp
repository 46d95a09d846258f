// The target side of the debug link and the memory map behind it, driven through the port.
#include "bitbang_host.h"
#include "board/board.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tapster::board;
using board_test::BitbangHost;

namespace {

class LinkTest : public ::testing::Test {
  protected:
    explicit LinkTest(BoardConfig config = {}) : board(config, Board::Parts::None), host(board) {
        host.SetControl(true);
        host.EnterLink();
    }
    std::vector<uint8_t> Memory(uint32_t address, size_t length) {
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < length; ++i)
            bytes.push_back(board.Bus().Read8(address + static_cast<uint32_t>(i)));
        return bytes;
    }
    Board board;
    BitbangHost host;
};

TEST_F(LinkTest, IdleLinkKeepsTdoLow) {
    for (int i = 0; i < 2000; ++i)
        ASSERT_FALSE(host.Clock(false, false)) << "clock " << i;
}

TEST_F(LinkTest, ReadBlockReturns256BytesFromEachMemory) {
    std::vector<uint8_t> data;
    ASSERT_EQ(host.ReadBlock(kRomBase, data), 256);
    for (uint32_t i = 0; i < 256; ++i)
        ASSERT_EQ(data[i], RomByte(i)) << i;
    ASSERT_EQ(host.ReadBlock(kSdramBase + 0x100, data), 256);
    for (uint32_t i = 0; i < 256; ++i)
        ASSERT_EQ(data[i], UsedAreaByte(kSdramBase + 0x100 + i));
    ASSERT_EQ(host.ReadBlock(kVramBase + 0x100000, data), 256);
    EXPECT_EQ(data, std::vector<uint8_t>(256, 0xFF)) << "erased video RAM";
    ASSERT_EQ(host.ReadBlock(0x10000000, data), 256);
    EXPECT_EQ(data, std::vector<uint8_t>(256, kUnmappedByte)) << "nothing mapped";
    // A block across the end of a memory: the rest reads as unmapped.
    ASSERT_EQ(host.ReadBlock(kSramBase + kSramSize - 4, data), 256);
    EXPECT_EQ(data[3], 0x00);
    EXPECT_EQ(data[4], kUnmappedByte);
}

TEST_F(LinkTest, ReplyLengthByteGivesTheByteCount) {
    const struct {
        uint8_t lengthByte;
        int count;
    } cases[] = {{0x00, 256}, {0x01, 256}, {0x02, 256}, {0x03, 256},
                 {0x05, 4},   {0x08, 8},   {0xFC, 252}, {0xFF, 252}};
    for (const auto& c : cases) {
        board.ForceReplyLength(c.lengthByte);
        std::vector<uint8_t> data;
        ASSERT_EQ(host.ReadBlock(kRomBase + 0x40, data), c.count) << int{c.lengthByte};
        EXPECT_EQ(data, Memory(kRomBase + 0x40, static_cast<size_t>(c.count)));
        // Nothing follows the last byte: the next drain finds the link silent.
        EXPECT_EQ(host.Drain(), 0);
    }
}

TEST_F(LinkTest, BlockAndWordWritesLandInMemory) {
    std::vector<uint8_t> block(252);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(i * 7 + 3);
    ASSERT_TRUE(host.WriteBlock(kSdramBase + 0x1000, block));
    EXPECT_EQ(Memory(kSdramBase + 0x1000, 252), block);
    EXPECT_EQ(board.Bus().Read8(kSdramBase + 0x1000 + 252), UsedAreaByte(kSdramBase + 0x1000 + 252))
        << "nothing beyond the block";

    ASSERT_TRUE(host.WriteWord(kSramBase + 0x800, 0x11223344));
    EXPECT_EQ(Memory(kSramBase + 0x800, 4), (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(board.Bus().Read32(kSramBase + 0x800), 0x11223344u);

    // And back through the link.
    std::vector<uint8_t> data;
    ASSERT_EQ(host.ReadBlock(kSdramBase + 0x1000, data), 256);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), data.begin()));
    ASSERT_EQ(host.ReadBlock(kSramBase + 0x800, data), 256);
    EXPECT_EQ(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24, 0x11223344);
}

TEST_F(LinkTest, RomAndUnmappedAddressesIgnoreWrites) {
    ASSERT_TRUE(host.WriteWord(kRomBase + 0x100, 0xDEADBEEF)) << "the DCU still acknowledges";
    std::vector<uint8_t> data;
    ASSERT_EQ(host.ReadBlock(kRomBase + 0x100, data), 256);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(data[i], RomByte(0x100 + i));
    ASSERT_TRUE(host.WriteWord(0x20000000, 0x12345678));
    EXPECT_EQ(board.Bus().Read32(0x20000000), 0xFFFFFFFFu);
}

TEST_F(LinkTest, WriteLandsOnlyWhenItsLastByteArrives) {
    ASSERT_EQ(host.Drain(), 0);
    host.SendAck();
    ASSERT_TRUE(host.SendByte(0x08));
    ASSERT_TRUE(host.SendWord(kSramBase + 0x100));
    ASSERT_TRUE(host.SendWord(0xAABBCCDD));
    EXPECT_EQ(board.Bus().Read32(kSramBase + 0x100), 0u);
    ASSERT_TRUE(host.SendWord(0x01020304));
    EXPECT_EQ(board.Bus().Read32(kSramBase + 0x100), 0xAABBCCDDu);
    EXPECT_EQ(board.Bus().Read32(kSramBase + 0x104), 0x01020304u);
}

TEST_F(LinkTest, UnknownCommandIsAcknowledgedAndIgnored) {
    for (uint8_t command : {0x00, 0x02, 0x03, 0x05, 0x81}) {
        ASSERT_EQ(host.Drain(), 0);
        ASSERT_TRUE(host.SendByte(command)) << int{command};
        EXPECT_EQ(host.Drain(), 0) << "no reply to " << int{command};
    }
    ASSERT_TRUE(host.WriteWord(kSramBase + 0x200, 0xCAFEF00D));
    EXPECT_EQ(board.Bus().Read32(kSramBase + 0x200), 0xCAFEF00Du);
}

TEST_F(LinkTest, AcknowledgeDuringDataIsZeroThenOneOnTheFirstDataClocks) {
    host.Clock(false, false);
    host.Clock(false, true);
    host.Clock(false, true);
    std::string seen;
    for (int i = 0; i < 8; ++i)
        seen += host.Clock(false, i == 2) ? '1' : '0'; // 0x04
    EXPECT_EQ(seen, "01000000");
}

TEST_F(LinkTest, ReplyStartsReplyDelayClocksAfterTheCommand) {
    auto clocksToReply = [](uint32_t delay) {
        BoardConfig config;
        config.link.replyDelayClocks = delay;
        Board b(config, Board::Parts::None);
        BitbangHost h(b);
        h.SetControl(true);
        h.EnterLink();
        EXPECT_TRUE(h.SendByte(0x01));
        EXPECT_TRUE(h.SendWord(kRomBase));
        const uint64_t before = h.clocks;
        EXPECT_TRUE(h.WaitStart());
        return h.clocks - before;
    };
    const uint64_t at4 = clocksToReply(4);
    EXPECT_EQ(clocksToReply(40), at4 + 36);
    // No delay: the start pattern 0,1,1 fills the host's first three samples.
    EXPECT_EQ(clocksToReply(0), 3u);
}

TEST_F(LinkTest, ReplyByteNotAcknowledgedEndsTheReply) {
    ASSERT_TRUE(host.SendByte(0x01));
    ASSERT_TRUE(host.SendWord(kRomBase));
    uint8_t value = 0;
    ASSERT_TRUE(host.ReceiveByte(value));
    EXPECT_EQ(value, 0x00) << "length byte";
    ASSERT_TRUE(host.ReceiveByte(value, 1024, /*ack=*/false));
    EXPECT_EQ(value, RomByte(0));
    EXPECT_FALSE(host.WaitStart(4096));
}

TEST_F(LinkTest, AbandonedReplyIsDrainedByTheNextOperation) {
    ASSERT_TRUE(host.SendByte(0x01));
    ASSERT_TRUE(host.SendWord(kRomBase));
    uint8_t value = 0;
    for (int i = 0; i < 11; ++i)
        ASSERT_TRUE(host.ReceiveByte(value));
    EXPECT_EQ(host.Drain(), 246);
    ASSERT_TRUE(host.WriteWord(kSramBase, 0x5A5A5A5A));
    EXPECT_EQ(board.Bus().Read32(kSramBase), 0x5A5A5A5Au);
}

TEST_F(LinkTest, ControlLineLowDropsTheReply) {
    ASSERT_TRUE(host.SendByte(0x01));
    ASSERT_TRUE(host.SendWord(kRomBase));
    uint8_t value = 0;
    ASSERT_TRUE(host.ReceiveByte(value));
    host.SetControl(false);
    host.Clock(false, false);
    host.SetControl(true);
    host.EnterLink();
    EXPECT_EQ(host.Drain(), 0);
}

TEST_F(LinkTest, LeavingTheScanPausesTheLink) {
    // The link only moves while its register is in Shift-DR: IDCODE reads in between do not
    // disturb a transaction.
    ASSERT_TRUE(host.SendByte(0x04));
    ASSERT_TRUE(host.SendWord(kSramBase + 0x300));
    host.Clock(true, false); // Exit1-DR (this clock still shifts one link bit: TDI 0)
    host.Clock(true, false); // Update-DR
    host.Clock(false, false);
    host.ShiftIr(0x02);
    EXPECT_EQ(host.ShiftDr(0, 32), kSti5510Idcode);
    host.ShiftIr(0x10);
    host.Clock(true, false);
    host.Clock(false, false);
    host.Clock(false, false);
    ASSERT_TRUE(host.SendWord(0x87654321));
    EXPECT_EQ(board.Bus().Read32(kSramBase + 0x300), 0x87654321u);
}

class LateAckLinkTest : public LinkTest {
  protected:
    static BoardConfig Late(uint32_t delay) {
        BoardConfig config;
        config.link.ackDuringData = false;
        config.link.ackDelayClocks = delay;
        return config;
    }
    LateAckLinkTest() : LinkTest(Late(0)) {}
};

TEST_F(LateAckLinkTest, OperationsWorkWithTheAcknowledgeAfterTheLastBit) {
    std::vector<uint8_t> block(16, 0x3C);
    ASSERT_TRUE(host.WriteBlock(kSdramBase, block));
    EXPECT_EQ(Memory(kSdramBase, 16), block);
    std::vector<uint8_t> data;
    ASSERT_EQ(host.ReadBlock(kSdramBase, data), 256);
    EXPECT_EQ(data[15], 0x3C);
}

TEST_F(LateAckLinkTest, AcknowledgeComesAfterTheConfiguredDelay) {
    for (uint32_t delay : {0u, 7u, 100u}) {
        // The acknowledge is a 1 then a 0 after `delay` idle clocks: a wait of delay + 1
        // clocks misses it, delay + 2 sees it.
        for (uint32_t limit : {delay + 1, delay + 2}) {
            Board b(Late(delay), Board::Parts::None);
            BitbangHost h(b);
            h.SetControl(true);
            h.EnterLink();
            EXPECT_EQ(h.SendByte(0x04, limit), limit == delay + 2)
                << "delay " << delay << " limit " << limit;
        }
    }
}

struct Recorder : LinkObserver, MappedDevice {
    explicit Recorder(TargetBus& bus) : bus(bus) {}
    void BeforeRead(uint32_t address, uint32_t length) override {
        log.push_back("read " + std::to_string(address) + " " + std::to_string(length));
        bus.Write8(address, 0x77); // the part updates what the host is about to see
    }
    void AfterWrite(uint32_t address, uint32_t length) override {
        log.push_back("write " + std::to_string(address) + " " + std::to_string(length) +
                      " first " + std::to_string(bus.Read8(address)));
    }
    void ResetLine(bool held) override { log.push_back(held ? "reset held" : "reset released"); }
    uint8_t Read8(uint32_t offset) override { return static_cast<uint8_t>(0xD0 + offset); }
    void Write8(uint32_t offset, uint8_t value) override {
        log.push_back("device " + std::to_string(offset) + "=" + std::to_string(value));
    }
    TargetBus& bus;
    std::vector<std::string> log;
};

TEST_F(LinkTest, ObserversSeeEveryTransaction) {
    Recorder recorder(board.Bus());
    board.AddObserver(&recorder);
    std::vector<uint8_t> data;
    ASSERT_EQ(host.ReadBlock(0x80000010, data), 256);
    EXPECT_EQ(data[0], 0x77) << "read after BeforeRead";
    ASSERT_TRUE(host.WriteBlock(0x80000020, {9, 8, 7, 6, 5, 4, 3, 2}));
    host.SetControl(false);
    host.SetControl(true);
    EXPECT_EQ(recorder.log,
              (std::vector<std::string>{"read 2147483664 256", "write 2147483680 8 first 9",
                                        "reset held", "reset released"}));
}

TEST_F(LinkTest, MappedDevicesTakePrecedenceOverMemory) {
    Recorder device(board.Bus());
    board.Map(kSdramBase + 0x10, 4, &device);
    std::vector<uint8_t> data;
    ASSERT_EQ(host.ReadBlock(kSdramBase + 0x0C, data), 256);
    EXPECT_EQ(data[3], UsedAreaByte(kSdramBase + 0x0F));
    EXPECT_EQ(data[4], 0xD0);
    EXPECT_EQ(data[7], 0xD3);
    EXPECT_EQ(data[8], UsedAreaByte(kSdramBase + 0x14));
    ASSERT_TRUE(host.WriteWord(kSdramBase + 0x10, 0x04030201));
    EXPECT_EQ(device.log,
              (std::vector<std::string>{"device 0=1", "device 1=2", "device 2=3", "device 3=4"}));
}

} // namespace

namespace {

// Runs of at least 5120 free bytes, the way "Find Free Mem" counts them.
std::vector<std::pair<uint32_t, uint32_t>> FreeRuns(TargetBus& bus, uint32_t start, bool zeroFree) {
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    uint32_t runStart = 0, runLength = 0;
    for (uint32_t a = start; a != start + 0x200000; ++a) {
        const uint8_t b = bus.Read8(a);
        if (b == 0xFF || (zeroFree && b == 0x00)) {
            if (runLength++ == 0) runStart = a;
        } else {
            if (runLength >= 5120) runs.emplace_back(runStart, runLength);
            runLength = 0;
        }
    }
    if (runLength >= 5120) runs.emplace_back(runStart, runLength);
    return runs;
}

TEST(BoardMemory, DefaultLayoutOffersTheDocumentedFreeRuns) {
    Board board(BoardConfig{}, Board::Parts::None);
    using Runs = std::vector<std::pair<uint32_t, uint32_t>>;
    EXPECT_EQ(FreeRuns(board.Bus(), kSdramBase, false),
              (Runs{{0x40080000, 0x10000}, {0x40140000, 0x1800}}));
    EXPECT_EQ(FreeRuns(board.Bus(), kSdramBase, true),
              (Runs{{0x40080000, 0x10000}, {0x40140000, 0x1800}, {0x401C0000, 0x40000}}));
    EXPECT_EQ(FreeRuns(board.Bus(), kVramBase, true), (Runs{{0xC0100000, 0x80000}}));
}

// The ROM holds the firmware assembled from firmware/rom.s: the same on every board, the reset
// address a short jump back into the ROM.
TEST(BoardMemory, RomHoldsTheAssembledFirmware) {
    Board a(BoardConfig{}, Board::Parts::None);
    Board b(BoardConfig{}, Board::Parts::None);
    for (uint32_t i = 0; i < kRomSize; ++i) {
        const uint8_t value = a.Bus().Read8(kRomBase + i);
        ASSERT_EQ(value, b.Bus().Read8(kRomBase + i));
        ASSERT_EQ(value, RomByte(i));
    }
    const std::string banner = "ST20 internal boot ROM (simulated)";
    for (size_t i = 0; i < banner.size(); ++i)
        ASSERT_EQ(a.Bus().Read8(kRomBase + static_cast<uint32_t>(i)), banner[i]);
    // 0x7FFFFFFE: nfix n, j m, a jump of -256 .. -1 bytes from the top.
    const uint8_t prefix = a.Bus().Read8(0x7FFFFFFE);
    const uint8_t jump = a.Bus().Read8(0x7FFFFFFF);
    EXPECT_EQ(prefix >> 4, 0x6);
    EXPECT_EQ(jump >> 4, 0x0);
    const uint32_t offset = (~uint32_t{prefix & 0xFu} << 4) | (jump & 0xFu);
    const uint32_t target = 0x80000000u + offset; // from the address after the jump
    EXPECT_GE(target, kRomBase);
    EXPECT_LT(target, 0x7FFFFFFEu);
}

} // namespace
