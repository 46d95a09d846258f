// Each switchable fault, seen the way a host sees it: IDCODE, the bypass loop-back, the link.
#include "bitbang_host.h"
#include "board/board.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tapster::board;
using board_test::BitbangHost;

namespace {

struct Rig {
    explicit Rig(const FaultConfig& faults)
        : board(Config(faults), Board::Parts::None), host(board) {
        host.SetControl(true);
        host.Reset();
    }
    static BoardConfig Config(const FaultConfig& faults) {
        BoardConfig config;
        config.faults = faults;
        return config;
    }
    uint32_t Idcode() {
        host.Reset();
        return static_cast<uint32_t>(host.ShiftDr(0, 32));
    }
    // The cable check: TDO must follow TDI one clock late through BYPASS, for `count` bits.
    bool Loopback(int count) {
        host.Reset();
        host.ShiftIr(0x1F);
        host.Clock(true, false);
        host.Clock(false, false);
        host.Clock(false, false);
        host.Clock(false, true);
        bool t = false;
        for (int i = 0; i < count; ++i) {
            if (host.Clock(false, t) == t) return false;
            t = !t;
        }
        return true;
    }
    Board board;
    BitbangHost host;
};

TEST(BoardFaults, NoFaultPassesTheChecks) {
    Rig rig(FaultConfig{});
    EXPECT_EQ(rig.Idcode(), kSti5510Idcode);
    EXPECT_TRUE(rig.Loopback(100000));
}

TEST(BoardFaults, NoTargetReadsAllOnes) {
    FaultConfig faults;
    faults.noTarget = true;
    Rig rig(faults);
    EXPECT_EQ(rig.Idcode(), 0xFFFFFFFFu);
    EXPECT_FALSE(rig.Loopback(10));
    rig.host.EnterLink();
    std::vector<uint8_t> data;
    EXPECT_EQ(rig.host.ReadBlock(kRomBase, data), 0);
    EXPECT_EQ(rig.board.ReadRegister(0x379), 0x7F);
    rig.host.SetControl(false);
    EXPECT_EQ(rig.board.ReadRegister(0x379), 0x7F);
}

TEST(BoardFaults, TdoStuckLowReadsAllZeros) {
    FaultConfig faults;
    faults.tdoStuckLow = true;
    Rig rig(faults);
    EXPECT_EQ(rig.Idcode(), 0u);
    EXPECT_FALSE(rig.Loopback(10));
    rig.host.EnterLink();
    EXPECT_FALSE(rig.host.SendByte(0x04)) << "no acknowledge can show";
    rig.host.SetControl(false);
    EXPECT_EQ(rig.board.ReadRegister(0x379), 0x6F);
}

TEST(BoardFaults, TdoTogglesOnEveryClockWhateverTheTargetSays) {
    FaultConfig faults;
    faults.tdoToggling = true;
    Rig rig(faults);
    bool previous = rig.host.Clock(false, false);
    for (int i = 0; i < 200; ++i) {
        const bool now = rig.host.Clock(i % 7 == 0, i % 3 == 0);
        ASSERT_NE(now, previous) << "clock " << i;
        previous = now;
    }
    EXPECT_FALSE(rig.Loopback(1000));
    // The link sees 0,1,0 over and over: a host waiting for a start has to give up on its own.
    rig.host.EnterLink();
    EXPECT_FALSE(rig.host.WaitStart(64));
}

TEST(BoardFaults, SlowCableWorksOnlyFromTheMinimumDelayUp) {
    FaultConfig faults;
    faults.minWorkingDelay = 50;
    Rig rig(faults);
    EXPECT_FALSE(rig.Loopback(10)) << "the host has not told its delay: 0";
    for (int32_t delay : {-1, 0, 25, 49}) {
        rig.board.NoteHostDelay(delay);
        EXPECT_FALSE(rig.Loopback(10)) << "delay " << delay;
    }
    for (int32_t delay : {50, 51, 2000}) {
        rig.board.NoteHostDelay(delay);
        EXPECT_TRUE(rig.Loopback(1000000 / 100)) << "delay " << delay;
        EXPECT_EQ(rig.Idcode(), kSti5510Idcode);
    }
    // Too fast again: each sample shows the bit of one clock earlier.
    rig.board.NoteHostDelay(0);
    EXPECT_EQ(rig.Idcode(), kSti5510Idcode << 1 | 1) << "TDO floated high the clock before";
}

TEST(BoardFaults, NeverAcknowledgeStillAnswersReads) {
    BoardConfig config;
    config.faults.neverAcknowledge = true;
    // The reply waits until the host has given up waiting for the last address byte's
    // acknowledge (64 clocks), so it can be seen.
    config.link.replyDelayClocks = 100;
    Board board(config, Board::Parts::None);
    BitbangHost host(board);
    host.SetControl(true);
    host.EnterLink();
    EXPECT_FALSE(host.SendByte(0x01));
    EXPECT_FALSE(host.SendWord(kRomBase));
    uint8_t value = 0xEE;
    ASSERT_TRUE(host.ReceiveByte(value));
    EXPECT_EQ(value, 0x00);
    ASSERT_TRUE(host.ReceiveByte(value));
    EXPECT_EQ(value, RomByte(0));
    // Writes are not acknowledged, but a word write sends everything and the word lands.
    EXPECT_EQ(host.Drain(), 255);
    EXPECT_FALSE(host.WriteWord(kSramBase, 0x600DF00D));
    EXPECT_EQ(board.Bus().Read32(kSramBase), 0x600DF00Du);
}

TEST(BoardFaults, KeepsSendingNeverLetsTheDrainEnd) {
    FaultConfig faults;
    faults.keepsSending = true;
    Rig rig(faults);
    rig.host.EnterLink();
    uint8_t value = 0;
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(rig.host.ReceiveByte(value, 64));
        EXPECT_EQ(value, kKeepsSendingByte);
    }
    EXPECT_EQ(rig.host.Drain(1025), -1);
    EXPECT_FALSE(rig.host.WriteWord(kSramBase, 1));
    EXPECT_EQ(rig.board.Bus().Read32(kSramBase), 0u);
}

TEST(BoardFaults, FlipsEveryNthBit) {
    FaultConfig faults;
    faults.flipEveryBits = 7;
    Rig rig(faults);
    rig.host.Reset();
    rig.host.ShiftIr(0x1F);
    rig.host.Clock(true, false);
    rig.host.Clock(false, false);
    rig.host.Clock(false, false);
    rig.host.Clock(false, true);
    bool t = false;
    std::vector<int> flipped;
    for (int i = 0; i < 700; ++i) {
        if (rig.host.Clock(false, t) == t) flipped.push_back(i);
        t = !t;
    }
    ASSERT_EQ(flipped.size(), 100u);
    for (size_t k = 1; k < flipped.size(); ++k)
        EXPECT_EQ(flipped[k] - flipped[k - 1], 7);
}

TEST(BoardFaults, FaultsSwitchAtRunTime) {
    Rig rig(FaultConfig{});
    FaultConfig faults;
    faults.tdoStuckLow = true;
    rig.board.SetFaults(faults);
    EXPECT_EQ(rig.Idcode(), 0u);
    rig.board.SetFaults(FaultConfig{});
    EXPECT_EQ(rig.Idcode(), kSti5510Idcode);
    faults = FaultConfig{};
    faults.keepsSending = true;
    rig.board.SetFaults(faults);
    rig.host.EnterLink();
    EXPECT_EQ(rig.host.Drain(100), -1);
}

} // namespace
