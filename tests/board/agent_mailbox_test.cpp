// The flash agent serving its mailbox the way the host's agent calls drive it.
#include "board/agent.h"
#include "board/dcu_map.h"
#include "dcu_test_bus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>

namespace tapster::board {
namespace {

using test::Rig;

constexpr uint32_t kTrap = 0x80000800;
constexpr uint32_t kMb = kTrap + 0x200;
constexpr uint32_t kBuffer = kMb + 28;
constexpr uint32_t kFlash = 0x7FE00000;

struct Waited {
    uint32_t status = 0;
    int busyPolls = 0; // polls that showed neither bit
};

class AgentTest : public ::testing::Test {
  protected:
    void Boot(BoardConfig config = {}) {
        config.core.cppAgent = true; // the board's C++ agent is what these tests are about
        config_ = config;
        rig_ = std::make_unique<Rig>(config);
        rig_->LoadRoutine(kTrap);
        rig_->InstallSlot(0x80000040, kTrap);
        rig_->HostWriteWord(kDcuControl, 0x20000000);
        ASSERT_NE(rig_->HostReadWord(kDcuStatus) & kStTrapped, 0u);
        rig_->HostWriteWord(kMb, 0); // the host prepares the agent
        rig_->HostWriteWord(kDcuControl, 0);
    }
    uint32_t Base() const { return config_.flash.base; }

    // Polls +0 like the host's wait, at most `limit` times.
    Waited Wait(int limit = 100) {
        Waited w;
        for (int i = 0; i < limit; ++i) {
            w.status = rig_->HostReadWord(kMb);
            if (w.status & (kAgentStReleased | kAgentStAborted)) return w;
            ++w.busyPolls;
        }
        return w;
    }
    Waited Identify() {
        rig_->HostWriteWord(kMb + 16, Base());
        rig_->HostWriteWord(kMb, kAgentCmdReadId);
        return Wait();
    }
    Waited Protection(uint32_t block) {
        rig_->HostWriteWord(kMb + 16, Base());
        rig_->HostWriteWord(kMb + 4, block);
        rig_->HostWriteWord(kMb, kAgentCmdProtectStatus);
        return Wait();
    }
    void StartProgram(uint32_t address, const std::vector<uint8_t>& data) {
        for (size_t o = 0; o < data.size(); o += 252) {
            const size_t n = std::min<size_t>(252, data.size() - o);
            rig_->HostWrite(
                kBuffer + static_cast<uint32_t>(o),
                std::vector<uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(o),
                                     data.begin() + static_cast<std::ptrdiff_t>(o + n)));
        }
        rig_->HostWriteWord(kMb + 4, address);
        rig_->HostWriteWord(kMb + 8, kBuffer);
        rig_->HostWriteWord(kMb + 12, static_cast<uint32_t>(data.size()));
        rig_->HostWriteWord(kMb + 16, Base());
        rig_->HostWriteWord(kMb, kAgentCmdProgram);
    }
    Waited Program(uint32_t address, const std::vector<uint8_t>& data) {
        StartProgram(address, data);
        return Wait();
    }
    Waited EraseBlock(uint32_t block) {
        rig_->HostWriteWord(kMb + 4, block);
        rig_->HostWriteWord(kMb + 16, Base());
        rig_->HostWriteWord(kMb, kAgentCmdEraseBlock);
        return Wait();
    }
    Waited EraseChip() {
        rig_->HostWriteWord(kMb + 16, Base());
        rig_->HostWriteWord(kMb, kAgentCmdEraseChip);
        return Wait();
    }
    std::vector<uint8_t> ReadFlash(uint32_t address, uint32_t length) {
        return rig_->HostRead(address, length);
    }

    BoardConfig config_;
    std::unique_ptr<Rig> rig_;
};

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

TEST_F(AgentTest, IdentifyLeavesBothCodesBeforeReleasing) {
    Boot();
    const Waited w = Identify();
    EXPECT_EQ(w.status, kAgentCmdReadId | kAgentStReleased);
    EXPECT_EQ(rig_->HostReadWord(kMb + 20), 0x0001u);
    EXPECT_EQ(rig_->HostReadWord(kMb + 24), 0x2249u);
    // The chip is back in read mode: the array shows through.
    EXPECT_EQ(ReadFlash(kFlash, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
}

TEST_F(AgentTest, IdentifyFollowsTheChipAndTheBaseOfThePreset) {
    BoardConfig config;
    config.flash.chip = "M29W160EB";
    config.flash.base = 0x60000000;
    Boot(config);
    Identify();
    EXPECT_EQ(rig_->HostReadWord(kMb + 20), 0x0020u);
    EXPECT_EQ(rig_->HostReadWord(kMb + 24), 0x2249u);
    // With a base where no chip sits, the agent reads whatever is there.
    rig_->HostWriteWord(kMb + 16, 0x50000000);
    rig_->HostWriteWord(kMb, kAgentCmdReadId);
    EXPECT_EQ(Wait().status & kAgentStReleased, kAgentStReleased);
    EXPECT_NE(rig_->HostReadWord(kMb + 20), 0x0020u);
}

TEST_F(AgentTest, ProtectionStatusPerBlock) {
    BoardConfig config;
    config.flash.protectedSectors = {0x8000};
    Boot(config);
    Protection(kFlash + 0x8000);
    EXPECT_EQ(rig_->HostReadWord(kMb + 20), 1u);
    Protection(kFlash + 0xA123); // any address inside the protected 32K sector
    EXPECT_EQ(rig_->HostReadWord(kMb + 20), 1u);
    Protection(kFlash + 0x10000);
    EXPECT_EQ(rig_->HostReadWord(kMb + 20), 0u);
}

TEST_F(AgentTest, ProgramThenReadBack) {
    Boot();
    const std::vector<uint8_t> data = Pattern(4096, 3);
    EXPECT_EQ(Program(kFlash + 0x20000, data).status, kAgentCmdProgram | kAgentStReleased);
    EXPECT_EQ(ReadFlash(kFlash + 0x20000, 4096), data);
    // Odd address and odd length: the neighbouring bytes stay erased.
    const std::vector<uint8_t> odd = {0x10, 0x20, 0x30};
    Program(kFlash + 0x30001, odd);
    EXPECT_EQ(ReadFlash(kFlash + 0x30000, 5), (std::vector<uint8_t>{0xFF, 0x10, 0x20, 0x30, 0xFF}));
}

TEST_F(AgentTest, ProgrammingOverUnerasedDataGivesTheAnd) {
    Boot();
    Program(kFlash + 0x100, {0xF0, 0x0F, 0xAA, 0x55});
    // The second program cannot set bits: the flash holds the AND and the agent reports the
    // call as aborted because the first word does not verify.
    EXPECT_EQ(Program(kFlash + 0x100, {0x3C, 0x3C, 0x0F, 0xFF}).status,
              kAgentCmdProgram | kAgentStAborted);
    EXPECT_EQ(ReadFlash(kFlash + 0x100, 2), (std::vector<uint8_t>{0x30, 0x0C}));
    EXPECT_EQ(ReadFlash(kFlash + 0x102, 2), (std::vector<uint8_t>{0xAA, 0x55}));
}

TEST_F(AgentTest, EraseBlockAndChipToFF) {
    BoardConfig config;
    config.flash.protectedSectors = {0x0000};
    Boot(config);
    rig_->parts.Flash()->Load(0, {0x00, 0x00}); // factory contents of the protected sector
    for (uint32_t at : {0x4000u, 0x6000u, 0x10000u})
        Program(kFlash + at, {0x00, 0x00});
    EXPECT_EQ(EraseBlock(kFlash + 0x4001).status, kAgentCmdEraseBlock | kAgentStReleased);
    EXPECT_EQ(ReadFlash(kFlash + 0x4000, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(ReadFlash(kFlash + 0x6000, 2), (std::vector<uint8_t>{0x00, 0x00}));
    EraseBlock(kFlash); // protected: untouched, the call still completes
    EXPECT_EQ(ReadFlash(kFlash, 2), (std::vector<uint8_t>{0x00, 0x00}));

    EXPECT_EQ(EraseChip().status, kAgentCmdEraseChip | kAgentStReleased);
    EXPECT_EQ(ReadFlash(kFlash + 0x6000, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(ReadFlash(kFlash + 0x10000, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(ReadFlash(kFlash, 2), (std::vector<uint8_t>{0x00, 0x00}));
    // A protected sector cannot be programmed either.
    Program(kFlash + 2, {0x00});
    EXPECT_EQ(ReadFlash(kFlash + 2, 1), (std::vector<uint8_t>{0xFF}));
}

TEST_F(AgentTest, BusyPollsPerCallKind) {
    BoardConfig config;
    config.agent = {/*identify*/ 0,  /*protect*/ 1,  /*program*/ 2, /*eraseBlock*/ 3,
                    /*eraseChip*/ 7, /*timeLimit*/ 0};
    Boot(config);
    EXPECT_EQ(Identify().busyPolls, 0);
    EXPECT_EQ(Protection(kFlash).busyPolls, 1);
    EXPECT_EQ(Program(kFlash, {1, 2}).busyPolls, 2);
    EXPECT_EQ(EraseBlock(kFlash).busyPolls, 3);
    EXPECT_EQ(EraseChip().busyPolls, 7);
}

TEST_F(AgentTest, OnlyReadsOfTheCommandWordArePolls) {
    BoardConfig config;
    config.agent.eraseChipPolls = 2;
    Boot(config);
    rig_->HostWriteWord(kMb + 16, Base());
    rig_->HostWriteWord(kMb, kAgentCmdEraseChip);
    for (int i = 0; i < 5; ++i) { // DCU monitor reads, other mailbox words
        rig_->HostReadWord(kDcuStatus);
        rig_->HostReadWord(kMb + 4);
    }
    EXPECT_EQ(Wait().busyPolls, 2);
    // A block read that spans the command word counts as a poll too.
    rig_->HostWriteWord(kMb, kAgentCmdEraseChip);
    rig_->HostRead(kMb - 8, 16);
    rig_->HostRead(kMb - 8, 16);
    EXPECT_EQ(Wait().busyPolls, 0);
}

TEST_F(AgentTest, StopDuringACallAborts) {
    BoardConfig config;
    config.agent.eraseChipPolls = 10;
    Boot(config);
    Program(kFlash, {0x00, 0x00});
    rig_->HostWriteWord(kMb + 16, Base());
    rig_->HostWriteWord(kMb, kAgentCmdEraseChip);
    EXPECT_EQ(rig_->HostReadWord(kMb), kAgentCmdEraseChip);
    rig_->HostWriteWord(kMb, kAgentCmdStop);
    EXPECT_EQ(rig_->HostReadWord(kMb), kAgentCmdStop | kAgentStAborted);
    EXPECT_EQ(ReadFlash(kFlash, 2), (std::vector<uint8_t>{0x00, 0x00})); // nothing erased
    // Later polls change nothing: the call is over.
    EXPECT_EQ(Wait(5).status, kAgentCmdStop | kAgentStAborted);
}

TEST_F(AgentTest, StopAfterTheCallFinishedReleases) {
    Boot();
    Identify();
    rig_->HostWriteWord(kMb, kAgentCmdStop);
    EXPECT_EQ(rig_->HostReadWord(kMb), kAgentCmdStop | kAgentStReleased);
}

TEST_F(AgentTest, TimeLimitAbortsOnItsOwn) {
    BoardConfig config;
    config.agent.eraseChipPolls = 10;
    config.agent.timeLimitPolls = 3;
    Boot(config);
    Program(kFlash, {0x00, 0x00});
    const Waited w = EraseChip();
    EXPECT_EQ(w.status, kAgentCmdEraseChip | kAgentStAborted);
    EXPECT_EQ(w.busyPolls, 2); // the third poll shows the abort
    EXPECT_EQ(ReadFlash(kFlash, 2), (std::vector<uint8_t>{0x00, 0x00}));
    // A call that finishes within the limit is released; on the limit itself, release wins.
    config.agent.programPolls = 2;
    Boot(config);
    EXPECT_EQ(Program(kFlash, {0x12}).status, kAgentCmdProgram | kAgentStReleased);
}

TEST_F(AgentTest, ResultWordsAreWrittenBeforeTheReleasedBit) {
    Boot();
    rig_->HostWriteWord(kMb + 16, Base());
    rig_->HostWriteWord(kMb, kAgentCmdReadId);
    rig_->HostReadWord(kMb); // busy (one poll by default)
    rig_->bus.writes.clear();
    ASSERT_EQ(rig_->HostReadWord(kMb), kAgentCmdReadId | kAgentStReleased);
    const auto& writes = rig_->bus.writes;
    auto last = [&](uint32_t address) {
        auto it = std::find(writes.rbegin(), writes.rend(), address);
        return it == writes.rend() ? -1 : static_cast<int>(writes.rend() - it - 1);
    };
    const int status = last(kMb);
    ASSERT_GE(status, 0);
    EXPECT_GE(last(kMb + 20), 0);
    EXPECT_GE(last(kMb + 24), 0);
    EXPECT_LT(last(kMb + 20), status);
    EXPECT_LT(last(kMb + 24), status);
}

TEST_F(AgentTest, OversizedProgramIsRefusedAndWithdrawnCommandIsDropped) {
    Boot();
    rig_->HostWriteWord(kMb + 4, kFlash);
    rig_->HostWriteWord(kMb + 8, kBuffer);
    rig_->HostWriteWord(kMb + 12, 0xFFFFFFFF);
    rig_->HostWriteWord(kMb + 16, Base());
    rig_->HostWriteWord(kMb, kAgentCmdProgram);
    EXPECT_EQ(Wait().status, kAgentCmdProgram | kAgentStAborted);
    EXPECT_EQ(ReadFlash(kFlash, 4), (std::vector<uint8_t>(4, 0xFF)));

    rig_->HostWriteWord(kMb + 16, Base());
    rig_->HostWriteWord(kMb, kAgentCmdEraseChip);
    rig_->HostWriteWord(kMb, 0); // the host cleared the command word
    EXPECT_EQ(Wait(30).status, 0u);
}

TEST_F(AgentTest, OpTempStaysAPlainWorkspaceWord) {
    Boot();
    rig_->HostWriteWord(kMb + 20, 0x12345678);
    Program(kFlash, {1, 2, 3});
    EraseBlock(kFlash);
    EraseChip();
    EXPECT_EQ(rig_->HostReadWord(kMb + 20), 0x12345678u);
}

} // namespace
} // namespace tapster::board
