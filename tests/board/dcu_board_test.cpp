// The active parts inside the whole board, reached through the cable and the debug link: the
// wiring of the DCU, the flash window and the agent, and their life across JTAG restarts.
#include "bitbang_host.h"
#include "board/board.h"
#include "board/dcu_map.h"
#include "board/memory_map.h"
#include "flash_agent.h"

#include <gtest/gtest.h>

namespace tapster::board {
namespace {

constexpr uint32_t kTrap = 0x80000800;
constexpr uint32_t kMb = kTrap + 0x200;

// The flash agent's mailbox as the host writes it: word offsets from the trap workspace, the
// command codes and the two answers.
constexpr uint32_t kMailboxCommand = 0;
constexpr uint32_t kMailboxFlashAddress = 4;
constexpr uint32_t kMailboxSource = 8;
constexpr uint32_t kMailboxLength = 12;
constexpr uint32_t kMailboxFlashBase = 16;
constexpr uint32_t kMailboxResult1 = 20;
constexpr uint32_t kMailboxResult2 = 24;
constexpr uint32_t kAgentCmdReadId = 0x0010;
constexpr uint32_t kAgentCmdProgram = 0x0100;
constexpr uint32_t kAgentStReleased = 0x0001;
constexpr uint32_t kAgentStAborted = 0x0008;

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
    // The flash agent's image loaded in two blocks, BRK_TRAP_HIGH pointed at it, the trap taken.
    void LoadInstallTake() {
        const auto agent = test::kFlashAgentBytes();
        std::vector<uint8_t> image(agent.begin(), agent.end());
        image.resize(484, 0x00);
        ASSERT_TRUE(
            host_->WriteBlock(kTrap, std::vector<uint8_t>(image.begin(), image.begin() + 252)));
        ASSERT_TRUE(
            host_->WriteBlock(kTrap + 252, std::vector<uint8_t>(image.begin() + 252, image.end())));
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
            if (WordAt(mailbox, kMailboxCommand) & (kAgentStReleased | kAgentStAborted))
                return mailbox;
        }
        ADD_FAILURE() << "the agent never answered";
        return std::vector<uint8_t>(256, 0);
    }

    std::unique_ptr<Board> board_;
    std::unique_ptr<board_test::BitbangHost> host_;
};

TEST_F(BoardParts, AgentKeepsServingAcrossJtagRestarts) {
    Start();
    LoadInstallTake();
    Restart(); // a later command pulses the control line again
    ASSERT_TRUE(host_->WriteWord(kMb, 0));
    ASSERT_TRUE(host_->WriteWord(kDcuControl, 0));
    ASSERT_TRUE(host_->WriteWord(kMb + kMailboxFlashBase, 0x7FE00000));
    ASSERT_TRUE(host_->WriteWord(kMb, kAgentCmdReadId));
    const std::vector<uint8_t> answer = Wait();
    EXPECT_EQ(WordAt(answer, kMailboxCommand), kAgentStReleased);
    EXPECT_EQ(WordAt(answer, kMailboxResult1), 0x0001u);
    EXPECT_EQ(WordAt(answer, kMailboxResult2), 0x2249u);
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
    Start(config);
    LoadInstallTake();
    std::vector<uint8_t> data(64);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(0xC3 ^ i);
    const uint32_t buffer = kMb + kMailboxResult2 + 4;
    ASSERT_TRUE(host_->WriteWord(kMb, 0));
    ASSERT_TRUE(host_->WriteWord(kDcuControl, 0));
    ASSERT_TRUE(host_->WriteBlock(buffer, data));
    ASSERT_TRUE(host_->WriteWord(kMb + kMailboxFlashAddress, 0x50010000));
    ASSERT_TRUE(host_->WriteWord(kMb + kMailboxSource, buffer));
    ASSERT_TRUE(host_->WriteWord(kMb + kMailboxLength, 64));
    ASSERT_TRUE(host_->WriteWord(kMb + kMailboxFlashBase, 0x50000000));
    ASSERT_TRUE(host_->WriteWord(kMb, kAgentCmdProgram));
    EXPECT_EQ(WordAt(Wait(), kMailboxCommand), kAgentStReleased);
    const std::vector<uint8_t> flash = Read(0x50010000);
    EXPECT_EQ(std::vector<uint8_t>(flash.begin(), flash.begin() + 64), data);
    EXPECT_EQ(flash[64], 0xFF);
}

} // namespace
} // namespace tapster::board
