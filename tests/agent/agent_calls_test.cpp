// The flash agent images serving the mailbox on a core with a flash chip, table-driven over the
// board's chips: every call, stops, time limits, refusals, partial half-words, the other family.
#include "agent_amd_image.h"
#include "agent_intel_image.h"
#include "agent_rig.h"
#include "agent_sst_image.h"

#include "board/flash_chip_table.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tapster::agent_test {
namespace {

constexpr uint32_t kIdentify = 0x0010;
constexpr uint32_t kProtectStatus = 0x0020;
constexpr uint32_t kProgram = 0x0100;
constexpr uint32_t kEraseBlock = 0x0200;
constexpr uint32_t kEraseChip = 0x0400;

enum class Image { Amd, Intel, Sst };

std::span<const uint8_t> BytesOf(Image image) {
    return image == Image::Amd     ? kAgentAmdBytes()
           : image == Image::Intel ? kAgentIntelBytes()
                                   : kAgentSstBytes();
}

struct ChipCase {
    const char* chip;
    Image image;
    uint32_t base;
    uint32_t locked;   // offset of a block the preset protects (AMD), locks (J3) or locks down (C3)
    uint32_t free;     // offset of a free block (the erase block call's unit), followed by another
    uint32_t freeSize; // its size
    bool intel() const { return image == Image::Intel; }
    // J3: the agent clears every lock bit before it programs or erases.
    bool clearsLocks() const { return std::string(chip) == "28F320J3"; }
    bool protects() const { return image != Image::Sst; } // SST parts have no protection
};

// The board's chips: three AMD/JEDEC parts, three Intel ones (the 28F160B3B's bottom blocks are
// locked by WP#, a locked-down C3 block stays locked under WP#; the 4 MiB 28F320J3 and
// SST39VF3201 sit at 0x60000000, below it there is no room) and two SST ones.
const ChipCase kChips[] = {
    {"AM29LV160DB", Image::Amd, 0x7FE00000, 0x004000, 0x010000, 0x10000},
    {"M29W160EB", Image::Amd, 0x7FE00000, 0x004000, 0x010000, 0x10000},
    {"MX29LV160DB", Image::Amd, 0x7FE00000, 0x004000, 0x010000, 0x10000},
    {"28F160B3B", Image::Intel, 0x7FE00000, 0x000000, 0x010000, 0x10000},
    {"28F320J3", Image::Intel, 0x60000000, 0x020000, 0x040000, 0x20000},
    {"28F160C3B", Image::Intel, 0x7FE00000, 0x004000, 0x010000, 0x10000},
    {"SST39VF1601", Image::Sst, 0x7FE00000, 0x004000, 0x010000, 0x1000},
    {"SST39VF3201", Image::Sst, 0x60000000, 0x004000, 0x010000, 0x1000},
};

std::vector<uint8_t> Random(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(gen());
    return bytes;
}

RigSetup SetupFor(const ChipCase& c) {
    RigSetup setup;
    setup.image = BytesOf(c.image);
    setup.chip = board::FindFlashChip(c.chip);
    setup.flashBase = c.base;
    return setup;
}

// A rig with the case's protected (locked) block in force.
struct Board {
    explicit Board(const ChipCase& c, RigSetup setup) : rig(setup) {
        if (std::string(c.chip) != "28F160B3B") rig.Chip().SetProtected(c.locked, true);
    }
    explicit Board(const ChipCase& c) : Board(c, SetupFor(c)) {}
    AgentRig rig;
};

class AgentCalls : public ::testing::TestWithParam<ChipCase> {
  protected:
    void TearDown() override {
        // Whatever the call did: the agent wrote only its own words, read the host's words and
        // drove the flash only with device accesses, and left the chip reading its array.
        if (IsSkipped()) return;
        ASSERT_TRUE(board_);
        EXPECT_FALSE(board_->rig.WroteOutsideAgentArea());
        EXPECT_FALSE(board_->rig.CachedAccessToSharedWords());
        if (!board_->rig.Chip().Busy()) {
            EXPECT_TRUE(board_->rig.Chip().InReadMode());
        }
    }
    AgentRig& Make(RigSetup setup) {
        board_ = std::make_unique<Board>(GetParam(), setup);
        return board_->rig;
    }
    AgentRig& Make() { return Make(SetupFor(GetParam())); }
    std::unique_ptr<Board> board_;
};

std::string CaseName(const ::testing::TestParamInfo<ChipCase>& info) {
    return info.param.chip;
}

// Identify, programming three chunks and reading them back (a C3's blocks, locked since
// power-up, unlocked on the way), both protection states, erasing one block (its neighbour
// keeps its data), then erasing the whole chip.
TEST_P(AgentCalls, EveryCallDoesItsJob) {
    const ChipCase& c = GetParam();
    AgentRig& rig = Make();
    const board::FlashChipInfo& info = rig.Chip().Info();
    const uint32_t m = rig.Mailbox();

    ASSERT_EQ(rig.Call(kIdentify), kStatusReleased);
    EXPECT_EQ(rig.Word(m + 20), info.manufacturer);
    EXPECT_EQ(rig.Word(m + 24), info.device);

    // Three chunks straddling the end of the free block, the last one short.
    const uint32_t at = c.free + c.freeSize - 4096;
    const std::vector<uint8_t> data = Random(3 * 4096 - 100, 7);
    ASSERT_EQ(rig.Program(c.base + at, data), kStatusReleased);
    EXPECT_EQ(rig.FlashBytes(at, static_cast<uint32_t>(data.size())), data);

    ASSERT_EQ(rig.Call(kProtectStatus, c.base + c.locked), kStatusReleased);
    EXPECT_EQ(rig.Word(m + 20) & 1, c.protects() && !c.clearsLocks() ? 1u : 0u);
    ASSERT_EQ(rig.Call(kProtectStatus, c.base + c.free + 0x1234), kStatusReleased);
    EXPECT_EQ(rig.Word(m + 20) & 1, 0u);

    ASSERT_EQ(rig.Call(kEraseBlock, c.base + c.free + 2), kStatusReleased);
    EXPECT_EQ(rig.FlashBytes(c.free, c.freeSize), std::vector<uint8_t>(c.freeSize, 0xFF));
    EXPECT_EQ(rig.FlashBytes(c.free + c.freeSize, 4096),
              std::vector<uint8_t>(data.begin() + 4096, data.begin() + 8192));

    // Words at both ends of the chip and in the middle; the locked block is blank, so the chip
    // erase needs nothing from it.
    const uint32_t size = rig.Chip().Size();
    rig.Chip().Load(size - 2, {0x12, 0x34});
    rig.Chip().Load(size / 2, {0x00});
    ASSERT_EQ(rig.Program(c.base + c.free, std::vector<uint8_t>(64, 0x5A)), kStatusReleased);
    // An AMD chip erase skips the protected sector and says so.
    ASSERT_EQ(rig.Call(kEraseChip),
              c.image == Image::Amd ? kStatusReleased | kReasonSkipped : kStatusReleased);
    EXPECT_EQ(rig.FlashBytes(0, size), std::vector<uint8_t>(size, 0xFF));
}

// A program or erase into the protected block is refused and changes nothing: an AMD sector
// takes nothing and reads back as it was (failed), an Intel block reports SR1 (locked).
TEST_P(AgentCalls, ProtectedBlockIsRefused) {
    const ChipCase& c = GetParam();
    if (!c.protects()) GTEST_SKIP() << c.chip << " has no protection";
    AgentRig& rig = Make();
    rig.Chip().Load(c.locked + 0x100, {0x11, 0x22});
    rig.SetWord(rig.Mailbox() + 28, 0x00000000);
    if (c.clearsLocks()) { // a J3 with a lock bit set is still programmed, its bits cleared
        EXPECT_EQ(rig.Call(kProgram, c.base + c.locked + 0x40, 4), kStatusReleased);
        EXPECT_EQ(rig.FlashBytes(c.locked + 0x40, 4), std::vector<uint8_t>(4, 0x00));
        EXPECT_FALSE(rig.Chip().IsProtected(c.locked));
        // A clear that fails (SR5) ends the call as failed, the bits and the data kept.
        RigSetup setup = SetupFor(c);
        setup.faults.badSectors = {c.free};
        AgentRig& bad = Make(setup);
        EXPECT_EQ(bad.Call(kProgram, c.base + c.locked + 0x40, 4), kReasonFailed | kStatusAborted);
        EXPECT_TRUE(bad.Chip().IsProtected(c.locked));
        EXPECT_EQ(bad.FlashBytes(c.locked + 0x40, 4), std::vector<uint8_t>(4, 0xFF));
        return;
    }
    // A program reads back what the sector kept (AMD) or the chip says locked (Intel).
    EXPECT_EQ(rig.Call(kProgram, c.base + c.locked + 0x40, 4),
              (c.intel() ? kReasonLocked : kReasonFailed) | kStatusAborted);
    // An erase is refused also where the word it checks reads erased already.
    EXPECT_EQ(rig.Call(kEraseBlock, c.base + c.locked + 0x100), kReasonLocked | kStatusAborted);
    EXPECT_EQ(rig.Call(kEraseBlock, c.base + c.locked + 0x40), kReasonLocked | kStatusAborted);
    EXPECT_EQ(rig.FlashBytes(c.locked + 0x40, 4), std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(rig.FlashBytes(c.locked + 0x100, 2), (std::vector<uint8_t>{0x11, 0x22}));
}

// An odd start address and an odd length: the half-words at both ends are completed with 0xFF,
// so the bytes beside the range keep what they held (and the read-back check ignores them).
TEST_P(AgentCalls, OddAddressAndLengthLeaveTheNeighbours) {
    const ChipCase& c = GetParam();
    AgentRig& rig = Make();
    const uint32_t x = c.free + 0x200;
    rig.Chip().Load(x, {0x11});
    rig.Chip().Load(x + 7, {0x22});
    const std::vector<uint8_t> data{0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    ASSERT_EQ(rig.Program(c.base + x + 1, data), kStatusReleased);
    EXPECT_EQ(rig.FlashBytes(x, 8),
              (std::vector<uint8_t>{0x11, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0x22}));
    // One byte at an even address, then one at an odd one.
    ASSERT_EQ(rig.Program(c.base + x + 0x10, std::vector<uint8_t>{0x3C}), kStatusReleased);
    ASSERT_EQ(rig.Program(c.base + x + 0x13, std::vector<uint8_t>{0x4D}), kStatusReleased);
    EXPECT_EQ(rig.FlashBytes(x + 0x10, 4), (std::vector<uint8_t>{0x3C, 0xFF, 0xFF, 0x4D}));
}

// A chip whose data bit 0 does not program: the read-back (or the chip itself) reports it and
// the call aborts at the first such word.
TEST_P(AgentCalls, DroppedBitFailsTheProgram) {
    RigSetup setup = SetupFor(GetParam());
    setup.faults.stuckBits = 0x0001;
    AgentRig& rig = Make(setup);
    rig.SetWord(rig.Mailbox() + 28, 0xFFFFFF00);
    EXPECT_EQ(rig.Call(kProgram, GetParam().base + GetParam().free, 4),
              kReasonFailed | kStatusAborted);
}

// A chip that never finishes: AMD parts raise DQ5 at their own limit (failed); Intel parts
// keep SR7 clear and SST parts have no DQ5, so the agent's own limit (2^11 us for a word) ends the
// call, the same limit whether the trap came at high or at low priority (whose timer ticks 64 times
// slower).
TEST_P(AgentCalls, StuckChipEndsAtTheTimeLimit) {
    const ChipCase& c = GetParam();
    for (uint8_t priority : {0, 1}) {
        RigSetup setup = SetupFor(c);
        setup.busyPercent = 100;
        setup.priority = priority;
        setup.faults.neverFinishes = true;
        AgentRig& rig = Make(setup);
        rig.Chip().SetProtected(c.locked, false); // a J3 would first clear its lock bits
        rig.SetWord(rig.Mailbox() + 28, 0);
        const uint64_t start = rig.Core().State().cycles;
        const auto answer = rig.Call(kProgram, c.base + c.free, 2, 2'000'000);
        const uint64_t micros = (rig.Core().State().cycles - start) / 40;
        ASSERT_TRUE(answer) << "no answer within 50 ms at priority " << int{priority};
        if (c.image != Image::Amd) {
            EXPECT_EQ(*answer, kReasonTimeout | kStatusAborted);
            EXPECT_GE(micros, 2048u);
            // (a J3's call first reads every 4 KiB step's lock bit: under a millisecond)
            EXPECT_LE(micros, c.clearsLocks() ? 3200u : 2200u);
        } else {
            EXPECT_EQ(*answer, kReasonFailed | kStatusAborted);
            EXPECT_LE(micros, 1000u);
        }
    }
}

// A stop during an erase and during a word program ends the wait with "aborted" and no reason;
// a stop between calls is answered with the last verdict.
TEST_P(AgentCalls, StopEndsEveryWait) {
    const ChipCase& c = GetParam();
    RigSetup setup = SetupFor(c);
    setup.busyPercent = 100;
    AgentRig& rig = Make(setup);
    rig.Chip().Load(c.free, {0x00});
    // Block erase takes about a second: stop after 10 ms.
    EXPECT_EQ(rig.Call(kEraseBlock, c.base + c.free, 0, 40'000'000, 400'000), kStatusAborted);
    EXPECT_TRUE(rig.Chip().Busy()); // the chip goes on by itself; the agent left the wait
    while (rig.Chip().Busy())
        rig.Core().Run(st20::Budget{UINT64_MAX, 4'000'000});
    // A word program takes 10 to 210 us: stop as soon as it runs.
    rig.SetWord(rig.Mailbox() + 28, 0);
    EXPECT_EQ(rig.Call(kProgram, c.base + c.free + 0x100, 2, 40'000'000, 0), kStatusAborted);
    while (rig.Chip().Busy())
        rig.Core().Run(st20::Budget{UINT64_MAX, 4000});
    rig.SetWord(rig.Mailbox(), kStop);
    EXPECT_EQ(rig.RunUntilAnswered(100'000), kStatusAborted);
    ASSERT_EQ(rig.Call(kIdentify), kStatusReleased);
    rig.SetWord(rig.Mailbox(), kStop);
    EXPECT_EQ(rig.RunUntilAnswered(100'000), kStatusReleased);
}

// Calls the agent refuses before touching the flash: a length above the buffer, an unknown
// command code.
TEST_P(AgentCalls, BadCallsAreRefused) {
    AgentRig& rig = Make();
    EXPECT_EQ(rig.Call(kProgram, GetParam().base + GetParam().free, 4097),
              kReasonBadCall | kStatusAborted);
    EXPECT_EQ(rig.Call(0x0040), kReasonBadCall | kStatusAborted);
    EXPECT_EQ(rig.FlashBytes(GetParam().free, 16), std::vector<uint8_t>(16, 0xFF));
}

// The host reads the result words once it sees the answer, so they must hold the call's results
// by the instruction that writes the answer, released or aborted: the chip's ID codes, and for
// protection status the block's word in +20.
TEST_P(AgentCalls, ResultWordsLandBeforeTheAnswer) {
    const ChipCase& c = GetParam();
    AgentRig& rig = Make();
    const board::FlashChipInfo& info = rig.Chip().Info();
    const uint32_t m = rig.Mailbox();
    struct Row {
        const char* name;
        uint32_t command;
        uint32_t address;
        uint32_t length;
        uint32_t result1Mask; // the bits of +20 checked against result1
        uint32_t result1;
        uint32_t answer;
    } rows[] = {
        {"identify", kIdentify, 0, 0, 0xFFFF, info.manufacturer, kStatusReleased},
        {"protection status", kProtectStatus, c.base + c.locked, 0, 1, c.protects() ? 1u : 0u,
         kStatusReleased},
        {"program", kProgram, c.base + c.free, 4, 0xFFFF, info.manufacturer, kStatusReleased},
        {"erase block", kEraseBlock, c.base + c.free, 0, 0xFFFF, info.manufacturer,
         kStatusReleased},
        {"program a locked block", kProgram, c.base + c.locked, 4, 0xFFFF, info.manufacturer,
         !c.protects() || c.clearsLocks()
             ? kStatusReleased
             : (c.intel() ? kReasonLocked : kReasonFailed) | kStatusAborted},
    };
    constexpr uint32_t kUnwritten = 0xA5A5A5A5;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        rig.SetWord(m + 20, kUnwritten);
        rig.SetWord(m + 24, kUnwritten);
        rig.SetWord(m + 4, row.address);
        rig.SetWord(m + 8, m + 28);
        rig.SetWord(m + 12, row.length);
        rig.SetWord(m + 16, c.base);
        rig.SetWord(m, row.command);
        uint32_t answer = 0;
        for (int i = 0; i < 20'000'000 && !(answer & (kStatusReleased | kStatusAborted)); ++i) {
            rig.Core().Run(st20::Budget{1, UINT64_MAX});
            answer = rig.Word(m);
        }
        ASSERT_EQ(answer, row.answer);
        EXPECT_EQ(rig.Word(m + 20) & row.result1Mask, row.result1);
        EXPECT_EQ(rig.Word(m + 24), info.device);
    }
}

INSTANTIATE_TEST_SUITE_P(Chips, AgentCalls, ::testing::ValuesIn(kChips), CaseName);

// The AMD image's erase chip is the chip's own chip erase, polled and checked at the chip base:
// on a 2 MiB part at 0x7FE00000, whose top 128 KiB lies behind the internal ROM, it still clears
// the hidden sectors (the chip does the work) and the agent never reads or writes behind the
// ROM. A stop ends its wait; a chip that never finishes ends it at the chip's DQ5 (failed).
TEST(AgentChipErase, ClearsTheSectorsBehindTheRomAndHonoursStopAndDq5) {
    for (const char* chip : {"AM29LV160DB", "M29W160EB", "MX29LV160DB"}) {
        SCOPED_TRACE(chip);
        RigSetup setup;
        setup.image = kAgentAmdBytes();
        setup.chip = board::FindFlashChip(chip);
        setup.reachable = 0x1E0000;
        {
            AgentRig rig(setup);
            const uint32_t size = rig.Chip().Size();
            rig.Chip().Load(0x100, {0x00});
            rig.Chip().Load(size - 0x20000, {0x12, 0x34});
            rig.Chip().Load(size - 2, {0x56, 0x78});
            EXPECT_EQ(rig.Call(kEraseChip), kStatusReleased);
            EXPECT_EQ(rig.FlashBytes(0, size), std::vector<uint8_t>(size, 0xFF));
            EXPECT_FALSE(rig.WroteOutsideAgentArea());
            EXPECT_TRUE(rig.Chip().InReadMode());
        }
        {
            setup.busyPercent = 100; // seconds of erase: stop after 10 ms
            AgentRig rig(setup);
            rig.Chip().Load(0x100, {0x00});
            EXPECT_EQ(rig.Call(kEraseChip, 0, 0, 40'000'000, 400'000), kStatusAborted);
            EXPECT_TRUE(rig.Chip().Busy());
        }
        {
            setup.busyPercent = 1;
            setup.faults.neverFinishes = true;
            AgentRig rig(setup);
            EXPECT_EQ(rig.Call(kEraseChip), kReasonFailed | kStatusAborted);
            EXPECT_TRUE(rig.Chip().InReadMode());
            setup.faults.neverFinishes = false;
        }
    }
}

// Each image drives only its own family: the other family's chip is never sent a program or
// erase sequence and is left reading its array; the AMD image still identifies it (so "Check"
// tells which image a board needs), the Intel image refuses. The rig loads the image elsewhere
// than at the default address, which it runs from just the same.
struct MismatchCase {
    const char* chip;
    Image image;
};

class AgentFamily : public ::testing::TestWithParam<MismatchCase> {};

std::string ImageName(Image image) {
    return image == Image::Amd ? "Amd" : image == Image::Intel ? "Intel" : "Sst";
}

TEST_P(AgentFamily, OtherFamilyIsLeftAlone) {
    const MismatchCase& c = GetParam();
    RigSetup setup;
    setup.image = BytesOf(c.image);
    setup.chip = board::FindFlashChip(c.chip);
    setup.flashBase = 0x60000000;
    setup.trapAddress = 0x80013000;
    AgentRig rig(setup);
    const auto identify = rig.Call(kIdentify);
    if (c.image == Image::Intel) {
        EXPECT_EQ(identify, kReasonFamily | kStatusAborted);
    } else {
        EXPECT_EQ(identify, kStatusReleased);
        EXPECT_EQ(rig.Word(rig.Mailbox() + 20), rig.Chip().Info().manufacturer);
        EXPECT_EQ(rig.Word(rig.Mailbox() + 24), rig.Chip().Info().device);
    }
    rig.SetWord(rig.Mailbox() + 28, 0);
    for (uint32_t call : {kProgram, kEraseBlock, kEraseChip, kProtectStatus}) {
        rig.Chip().Load(0x10000, {0x00, 0x00});
        EXPECT_EQ(rig.Call(call, setup.flashBase + 0x10002, 2), kReasonFamily | kStatusAborted)
            << std::hex << call;
        EXPECT_EQ(rig.FlashBytes(0x10000, 4), (std::vector<uint8_t>{0x00, 0x00, 0xFF, 0xFF}));
        EXPECT_TRUE(rig.Chip().InReadMode());
    }
    EXPECT_FALSE(rig.WroteOutsideAgentArea());
}

INSTANTIATE_TEST_SUITE_P(Images, AgentFamily,
                         ::testing::Values(MismatchCase{"28F160B3B", Image::Amd},
                                           MismatchCase{"28F320J3", Image::Amd},
                                           MismatchCase{"AM29LV160DB", Image::Intel},
                                           MismatchCase{"MX29LV160DB", Image::Intel},
                                           MismatchCase{"SST39VF1601", Image::Intel},
                                           MismatchCase{"AM29LV160DB", Image::Sst},
                                           MismatchCase{"28F160C3B", Image::Sst}),
                         [](const auto& info) {
                             return ImageName(info.param.image) + "ImageOn" + info.param.chip;
                         });

} // namespace
} // namespace tapster::agent_test
