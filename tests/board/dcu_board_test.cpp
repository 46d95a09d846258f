// The active parts inside the whole board, reached through the cable and the debug link: the
// wiring of the DCU, the flash window and the agent, and their life across JTAG restarts.
#include "bitbang_host.h"
#include "board/board.h"
#include "board/dcu_map.h"
#include "board/memory_map.h"

#include <gtest/gtest.h>

namespace tapster::board {
namespace {

constexpr uint32_t kTrap = 0x80000800;
constexpr uint32_t kMb = kTrap + 0x200;

uint32_t WordAt(const std::vector<uint8_t>& data, size_t offset) {
    return static_cast<uint32_t>(data[offset]) | static_cast<uint32_t>(data[offset + 1]) << 8 |
           static_cast<uint32_t>(data[offset + 2]) << 16 |
           static_cast<uint32_t>(data[offset + 3]) << 24;
}

class BoardParts : public ::testing::Test {
  protected:
    void Start(BoardConfig config = {}) {
        board_ = std::make_unique<Board>(std::move(config));
        host_ = std::make_unique<board_test::BitbangHost>(*board_);
        Restart();
    }
    // What every host command does first: pulse the control line, reset the TAP, enter the link.
    void Restart() {
        host_->SetControl(false);
        host_->SetControl(true);
        host_->EnterLink();
    }
    std::vector<uint8_t> Read(uint32_t address) {
        std::vector<uint8_t> data;
        EXPECT_EQ(host_->ReadBlock(address, data), 256);
        return data;
    }
    uint32_t ReadWord(uint32_t address) { return WordAt(Read(address), 0); }
    void LoadInstallTake() {
        ASSERT_TRUE(host_->WriteBlock(kTrap, std::vector<uint8_t>(252, 0x11)));
        ASSERT_TRUE(host_->WriteBlock(kTrap + 252, std::vector<uint8_t>(232, 0x22)));
        ASSERT_TRUE(host_->WriteWord(0x8000004C, kTrap));
        ASSERT_TRUE(host_->WriteWord(0x80000048, kMb));
        ASSERT_TRUE(host_->WriteWord(0x80000040, 0));
        ASSERT_TRUE(host_->WriteWord(kDcuControl, 0x20000000));
        ASSERT_NE(ReadWord(kDcuStatus) & kStTrapped, 0u);
    }
    // An agent call's wait; the mailbox block read returns the result words too.
    std::vector<uint8_t> Wait() {
        for (int poll = 0; poll < 40; ++poll) {
            std::vector<uint8_t> mailbox = Read(kMb);
            if (WordAt(mailbox, 0) & 0x9) return mailbox;
        }
        ADD_FAILURE() << "the agent never answered";
        return std::vector<uint8_t>(256, 0);
    }

    std::unique_ptr<Board> board_;
    std::unique_ptr<board_test::BitbangHost> host_;
};

TEST_F(BoardParts, AgentKeepsServingAcrossJtagRestarts) {
    BoardConfig config;
    config.core.cppAgent = true; // the placeholder routine is served by the C++ agent
    Start(config);
    LoadInstallTake();
    Restart(); // a later command pulses the control line again
    ASSERT_TRUE(host_->WriteWord(kMb, 0));
    ASSERT_TRUE(host_->WriteWord(kDcuControl, 0));
    ASSERT_TRUE(host_->WriteWord(kMb + 16, 0x7FE00000));
    ASSERT_TRUE(host_->WriteWord(kMb, 0x0010));
    const std::vector<uint8_t> answer = Wait();
    EXPECT_EQ(WordAt(answer, 0), 0x0011u);
    EXPECT_EQ(WordAt(answer, 20), 0x0001u);
    EXPECT_EQ(WordAt(answer, 24), 0x2249u);
}

TEST_F(BoardParts, FlashWindowLeavesTheInternalRomVisible) {
    Start();
    EXPECT_EQ(Read(0x7FE00000), std::vector<uint8_t>(256, 0xFF));
    const std::vector<uint8_t> rom = Read(kRomBase);
    for (uint32_t i = 0; i < 256; ++i)
        ASSERT_EQ(rom[i], RomByte(i)) << i;
    // The monitor's registers are live through the link.
    const uint32_t first = ReadWord(kDcuJumpTraceIptr);
    EXPECT_NE(ReadWord(kDcuJumpTraceIptr), first);
}

TEST_F(BoardParts, FlashAtAnotherBaseIsProgrammedThroughTheAgent) {
    BoardConfig config;
    config.flash.base = 0x50000000;
    config.core.cppAgent = true; // the placeholder routine is served by the C++ agent
    config.agent.programPolls = 0;
    Start(config);
    LoadInstallTake();
    std::vector<uint8_t> data(64);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(0xC3 ^ i);
    ASSERT_TRUE(host_->WriteBlock(kMb + 28, data));
    ASSERT_TRUE(host_->WriteWord(kMb + 4, 0x50010000));
    ASSERT_TRUE(host_->WriteWord(kMb + 8, kMb + 28));
    ASSERT_TRUE(host_->WriteWord(kMb + 12, 64));
    ASSERT_TRUE(host_->WriteWord(kMb + 16, 0x50000000));
    ASSERT_TRUE(host_->WriteWord(kMb, 0x0100));
    EXPECT_EQ(WordAt(Wait(), 0), 0x0101u);
    const std::vector<uint8_t> flash = Read(0x50010000);
    EXPECT_EQ(std::vector<uint8_t>(flash.begin(), flash.begin() + 64), data);
    EXPECT_EQ(flash[64], 0xFF);
}

} // namespace
} // namespace tapster::board
