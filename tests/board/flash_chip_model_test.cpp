// Every chip of the table, driven through 16-bit bus cycles and polled as an agent on real
// silicon would: codes, CFI, program, erase, busy status over CPU cycles, protection, faults, and
// the other family's command sequences.
#include "board/flash_chip.h"
#include "board/flash_chip_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace tapster::board {
namespace {

constexpr uint16_t kDq7 = 0x80, kDq6 = 0x40, kDq5 = 0x20, kDq3 = 0x08, kDq2 = 0x04;
constexpr uint16_t kSr7 = 0x80, kSr5 = 0x20, kSr4 = 0x10, kSr1 = 0x02;

// The chip with a cycle counter the test moves, and the family's command sequences.
class Bench {
  public:
    explicit Bench(const FlashChipInfo& info, FlashFaults faults = {})
        : chip(info, FlashTiming{}, std::move(faults)), amd(info.family != FlashFamily::Intel),
          sst(info.family == FlashFamily::Sst) {
        chip.SetCycleSource(&now);
        chip.SetWriteProtect(false);
    }

    // JEDEC commands at words 0x5555/0x2AAA, which an AMD part decodes as 0x555/0x2AA.
    void W(uint32_t word, uint16_t value) { chip.Write16(word * 2, value); }
    void Unlock() {
        W(0x5555, 0xAA);
        W(0x2AAA, 0x55);
    }
    void ReadArray() { W(0, amd ? 0xF0 : 0xFF); }
    void Identify() { amd ? (Unlock(), W(0x5555, 0x90)) : W(0, 0x90); }
    void Cfi() { sst ? (Unlock(), W(0x5555, 0x98)) : W(amd ? 0x55 : 0x1234, 0x98); }
    // A C3 block is locked from power-up: unlock it first, as an agent does.
    void UnlockBlock(uint32_t offset) {
        if (chip.Info().locking != FlashLocking::BlockLock) return;
        chip.Write16(offset, 0x60);
        chip.Write16(offset, 0xD0);
    }
    void Program(uint32_t offset, uint16_t value) {
        UnlockBlock(offset);
        if (amd) {
            Unlock();
            W(0x5555, 0xA0);
        } else {
            chip.Write16(offset, 0x40);
        }
        chip.Write16(offset, value);
    }
    void Erase(uint32_t offset) {
        UnlockBlock(offset);
        if (amd) {
            Unlock();
            W(0x5555, 0x80);
            Unlock();
            chip.Write16(offset, 0x30);
        } else {
            chip.Write16(offset, 0x20);
            chip.Write16(offset, 0xD0);
        }
    }

    // Polls as an agent does until the chip is ready or `cycles` have passed. AMD: the toggle
    // bit stops; DQ5 with DQ6 still toggling is a time-out. Intel: SR7.
    struct Poll {
        bool ready = false;
        bool timedOut = false;
        uint16_t status = 0;
    };
    Poll Wait(uint32_t offset, uint64_t cycles) {
        const uint64_t until = now + cycles;
        const uint64_t step = std::max<uint64_t>(cycles / 64, 1);
        for (;;) {
            if (amd) {
                const uint16_t a = chip.Read16(offset);
                const uint16_t b = chip.Read16(offset);
                if (((a ^ b) & kDq6) == 0) return {true, false, b};
                if ((b & kDq5) != 0) {
                    const uint16_t c = chip.Read16(offset);
                    if (((b ^ c) & kDq6) != 0) return {false, true, c};
                    return {true, false, c};
                }
            } else {
                const uint16_t status = chip.Read16(offset);
                if ((status & kSr7) != 0) return {true, false, status};
            }
            if (now >= until) return {false, false, chip.Read16(offset)};
            now = std::min(now + step, until);
        }
    }

    // A middle block: away from the boot blocks, which WP# may guard.
    uint32_t Block() const { return chip.SectorStart(chip.SectorCount() / 2); }
    std::vector<uint16_t> Words() const {
        std::vector<uint16_t> words(chip.Size() / 2);
        for (uint32_t i = 0; i < words.size(); ++i)
            words[i] = chip.ArrayWord(2 * i);
        return words;
    }

    uint64_t now = 1000;
    FlashChip chip;
    bool amd; // the JEDEC command set: AMD or SST
    bool sst;
};

class EveryChip : public ::testing::TestWithParam<const FlashChipInfo*> {
  protected:
    const FlashChipInfo& Info() const { return *GetParam(); }
};

std::vector<const FlashChipInfo*> AllChips() {
    std::vector<const FlashChipInfo*> chips;
    for (const FlashChipInfo& info : FlashChipTable())
        chips.push_back(&info);
    return chips;
}

INSTANTIATE_TEST_SUITE_P(Table, EveryChip, ::testing::ValuesIn(AllChips()),
                         [](const auto& p) { return std::string(p.param->name); });

TEST_P(EveryChip, AnswersItsCodesAndACfiQueryThatAgreesWithItsSectorMap) {
    Bench b(Info());
    b.chip.Load(0, {0x11, 0x22});
    b.Identify();
    EXPECT_EQ(b.chip.Read16(0), Info().manufacturer);
    EXPECT_EQ(b.chip.Read16(2), Info().device);
    b.ReadArray();
    EXPECT_EQ(b.chip.Read16(0), 0x2211);
    EXPECT_TRUE(b.chip.InReadMode());

    b.Cfi();
    auto q = [&](uint32_t word) { return b.chip.Read16(word * 2); };
    EXPECT_EQ(q(0x10), 'Q');
    EXPECT_EQ(q(0x11), 'R');
    EXPECT_EQ(q(0x12), 'Y');
    const uint16_t commandSet = static_cast<uint16_t>(q(0x13) | q(0x14) << 8);
    if (b.sst)
        EXPECT_EQ(commandSet, 0x0701);
    else if (b.amd)
        EXPECT_EQ(commandSet, 0x0002);
    else
        EXPECT_TRUE(commandSet == 0x0001 || commandSet == 0x0003) << commandSet;
    const uint32_t primary = q(0x15) | q(0x16) << 8;
    EXPECT_EQ(q(primary), b.sst ? 0 : 'P');
    EXPECT_EQ(q(primary + 1), b.sst ? 0 : 'R');
    EXPECT_EQ(q(primary + 2), b.sst ? 0 : 'I');
    EXPECT_EQ(1u << q(0x27), Info().Size());

    // The erase regions answered must cover the array exactly as the sector map does (an SST
    // part then answers its blocks over the same array).
    std::vector<uint32_t> fromCfi, fromMap;
    for (uint32_t r = 0; r < q(0x2C); ++r) {
        const uint32_t at = 0x2D + 4 * r;
        const uint32_t count = (q(at) | q(at + 1) << 8) + 1u;
        const uint32_t size = (q(at + 2) | q(at + 3) << 8) * 256u;
        fromCfi.insert(fromCfi.end(), count, size);
    }
    for (size_t s = 0; s < b.chip.SectorCount(); ++s)
        fromMap.push_back(b.chip.SectorSize(s));
    if (Info().blockSize != 0)
        fromMap.insert(fromMap.end(), Info().Size() / Info().blockSize, Info().blockSize);
    EXPECT_EQ(fromCfi, fromMap);

    // An agent that waits for the CFI maximum must never give up on a chip still in its time.
    const uint64_t programMax = (1ull << q(0x1F)) << q(0x23);        // µs
    const uint64_t eraseMax = ((1ull << q(0x21)) << q(0x25)) * 1000; // ms -> µs
    EXPECT_GE(1ull << q(0x1F), Info().busy.programTyp / 2);
    EXPECT_GE(programMax, std::max(Info().busy.programTyp, Info().busy.programMax));
    EXPECT_GE(eraseMax, std::max(Info().busy.eraseTyp, Info().busy.eraseMax));

    b.ReadArray();
    EXPECT_EQ(b.chip.Read16(0), 0x2211);
}

TEST_P(EveryChip, ProgramsOnlyClearingBitsAndErasesOneBlockInItsBusyTime) {
    Bench b(Info());
    const uint32_t block = b.Block();
    const uint32_t next = block + b.chip.SectorSize(b.chip.SectorCount() / 2);
    b.chip.Load(next, {0x5A, 0xA5});

    // Program: busy for exactly the data-sheet time, with the chip answering status, not data.
    const uint64_t programCycles = b.chip.CyclesFor(Info().busy.programTyp);
    ASSERT_GT(programCycles, 1u);
    const uint64_t start = b.now;
    b.Program(block, 0xF0F0);
    b.now = start + programCycles - 1;
    const uint16_t s1 = b.chip.Read16(block);
    const uint16_t s2 = b.chip.Read16(block);
    if (b.amd) {
        EXPECT_EQ(s1 & kDq7, 0x00) << "DQ7 is the complement of bit 7 of 0xF0F0";
        EXPECT_NE(s1 & kDq6, s2 & kDq6) << "DQ6 toggles on every read";
        EXPECT_EQ(s2 & kDq5, 0x00);
    } else {
        EXPECT_EQ(s1 & kSr7, 0x00);
        EXPECT_EQ(s1, s2);
    }
    b.now = start + programCycles;
    if (!b.amd) {
        EXPECT_EQ(b.chip.Read16(block), kSr7);
        b.ReadArray();
    }
    EXPECT_EQ(b.chip.Read16(block), 0xF0F0);

    b.Program(block, 0x3C3C); // only clears bits: 0xF0F0 & 0x3C3C
    ASSERT_TRUE(b.Wait(block, programCycles).ready);
    b.ReadArray();
    EXPECT_EQ(b.chip.Read16(block), 0x3030);

    // Erase the block: it reads 0xFF again, the next block keeps its data.
    b.Erase(block + 0x100);
    const Bench::Poll early = b.Wait(block, b.chip.CyclesFor(Info().busy.eraseTyp) / 2);
    EXPECT_FALSE(early.ready);
    if (b.amd) {
        EXPECT_EQ(early.status & kDq7, 0x00) << "DQ7 reads 0 while erasing";
    }
    const Bench::Poll done = b.Wait(block, b.chip.CyclesFor(Info().busy.eraseTyp));
    EXPECT_TRUE(done.ready);
    if (!b.amd) {
        EXPECT_EQ(done.status, kSr7);
    }
    b.ReadArray();
    EXPECT_EQ(b.chip.Read16(block), 0xFFFF);
    EXPECT_EQ(b.chip.Read16(next), 0xA55A);
}

TEST_P(EveryChip, ProtectedOrLockedBlocksRefuseProgramAndErase) {
    Bench b(Info());
    const uint32_t block = b.Block();
    const uint32_t other = b.chip.SectorStart(b.chip.SectorCount() - 1);
    b.chip.Load(block, {0x00, 0xFF});
    const uint64_t wait = b.chip.CyclesFor(Info().busy.eraseTyp) * 2;
    auto unlock = [&](uint32_t at) { b.UnlockBlock(at); };
    switch (Info().locking) {
    case FlashLocking::None: // SST: nothing a preset lists protects anything
        b.chip.SetProtected(block, true);
        EXPECT_FALSE(b.chip.IsProtected(block));
        return;
    case FlashLocking::FactoryProtect:
    case FlashLocking::LockBits:
        b.chip.SetProtected(block, true);
        break;
    case FlashLocking::BlockLock: // C3: all locked at power-up; the block locked down, WP# low
        EXPECT_TRUE(b.chip.IsProtected(other));
        unlock(other);
        b.chip.SetProtected(block, true);
        b.chip.SetWriteProtect(true);
        unlock(block); // refused: locked down under WP#
        break;
    case FlashLocking::WriteProtectPin:
        b.chip.SetWriteProtect(true);
        b.chip.Load(0, {0x00, 0xFF});
        EXPECT_TRUE(b.chip.IsProtected(0));
        EXPECT_FALSE(b.chip.IsProtected(block));
        break;
    }
    const uint32_t target = Info().locking == FlashLocking::WriteProtectPin ? 0 : block;

    b.Identify();
    EXPECT_EQ(b.chip.Read16(target + 4),
              Info().locking == FlashLocking::BlockLock ? 0x0003 : 0x0001);
    EXPECT_EQ(b.chip.Read16(other + 4), 0x0000);
    b.ReadArray();

    b.Program(target, 0x0000);
    Bench::Poll poll = b.Wait(target, wait);
    EXPECT_TRUE(poll.ready);
    if (!b.amd) {
        EXPECT_EQ(poll.status, kSr7 | kSr4 | kSr1);
    }
    b.Erase(target);
    poll = b.Wait(target, wait);
    EXPECT_TRUE(poll.ready);
    if (!b.amd) {
        EXPECT_EQ(poll.status, kSr7 | kSr5 | kSr4 | kSr1);
        b.W(0, 0x50);
    }
    b.ReadArray();
    EXPECT_EQ(b.chip.Read16(target), 0xFF00) << "neither programmed nor erased";

    // The way back: AMD protection is the factory's; Intel lock bits clear with 0x60/0xD0, and
    // the 28F160B3's boot blocks open with WP# high (it has no lock commands).
    if (Info().locking == FlashLocking::LockBits) {
        b.W(0, 0x60);
        b.W(0, 0xD0);
        EXPECT_EQ(b.Wait(0, b.chip.CyclesFor(Info().busy.unlockTyp)).status, kSr7);
        EXPECT_FALSE(b.chip.IsProtected(target));
        b.chip.Write16(target, 0x60); // and set again, one block
        b.chip.Write16(target, 0x01);
        EXPECT_EQ(b.Wait(0, b.chip.CyclesFor(Info().busy.lockTyp)).status, kSr7);
        EXPECT_TRUE(b.chip.IsProtected(target));
        EXPECT_FALSE(b.chip.IsProtected(other));
        // A chip with a bad block fails the clear with SR5 and keeps its bits.
        FlashChip bad(Info(), FlashTiming{}, FlashFaults{.badSectors = {other}});
        bad.SetProtected(target, true);
        bad.Write16(0, 0x60);
        bad.Write16(0, 0xD0);
        EXPECT_EQ(bad.Read16(0), kSr7 | kSr5);
        EXPECT_TRUE(bad.IsProtected(target));
    } else if (Info().locking == FlashLocking::BlockLock) {
        b.chip.SetWriteProtect(false); // WP# high overrides the lock-down
        unlock(target);
        b.Program(target, 0x0000);
        EXPECT_EQ(b.Wait(target, wait).status, kSr7);
        b.chip.SetWriteProtect(true);
        EXPECT_TRUE(b.chip.IsProtected(target)) << "locked down again with WP# low";
        b.chip.Reset();
        EXPECT_TRUE(b.chip.IsProtected(other)) << "reset locks every block";
        unlock(target);
        EXPECT_FALSE(b.chip.IsProtected(target)) << "and ends the lock-down";
    } else if (Info().locking == FlashLocking::WriteProtectPin) {
        b.W(0, 0x60);
        EXPECT_EQ(b.chip.Read16(0), kSr7 | kSr5 | kSr4) << "no lock commands on this part";
        b.W(0, 0x50);
        b.chip.SetWriteProtect(false);
        b.Program(target, 0x0000);
        EXPECT_EQ(b.Wait(target, wait).status, kSr7);
        b.ReadArray();
        EXPECT_EQ(b.chip.Read16(target), 0x0000);
    } else {
        // Chip erase skips the protected sector and erases the rest.
        b.chip.Load(other, {0x00});
        b.Unlock();
        b.W(0x5555, 0x80);
        b.Unlock();
        b.W(0x5555, 0x10);
        EXPECT_TRUE(b.Wait(0, b.chip.CyclesFor(Info().busy.chipEraseTyp) + 1).ready);
        EXPECT_EQ(b.chip.Read16(target), 0xFF00);
        EXPECT_EQ(b.chip.Read16(other), 0xFFFF);
    }
}

// One case per fault class: what the chip shows when an agent polls it.
struct FaultCase {
    const char* name;
    FlashFaults faults;
    bool erase;            // else program 0x0000
    uint16_t expectedWord; // the array word afterwards
    uint16_t intelStatus;  // 0: Intel stays busy (SR7 = 0)
};

class FaultyChip : public ::testing::TestWithParam<std::tuple<const FlashChipInfo*, FaultCase>> {};

const FaultCase kFaultCases[] = {
    {"NeverFinishes", {.neverFinishes = true}, false, 0xFFFF, 0},
    {"NeverFinishesErase", {.neverFinishes = true}, true, 0x0000, 0},
    {"BadSectorProgram", {.badSectors = {0x10000}}, false, 0xFFFF, kSr7 | kSr4},
    {"BadSectorErase", {.badSectors = {0x10000}}, true, 0x0000, kSr7 | kSr5},
    {"StuckBits", {.stuckBits = 0x0101}, false, 0x0101, kSr7 | kSr4},
    {"StuckBitsOutsideTheirRange",
     {.stuckBits = 0x0101, .stuckFrom = 0x20000, .stuckLength = 0x100},
     false,
     0x0000,
     kSr7},
};

INSTANTIATE_TEST_SUITE_P(Table, FaultyChip,
                         ::testing::Combine(::testing::ValuesIn(AllChips()),
                                            ::testing::ValuesIn(kFaultCases)),
                         [](const auto& p) {
                             return std::string(std::get<0>(p.param)->name) + "_" +
                                    std::get<1>(p.param).name;
                         });

TEST_P(FaultyChip, ShowsTheFailureAsTheDataSheetDescribes) {
    const FlashChipInfo& info = *std::get<0>(GetParam());
    const FaultCase& fault = std::get<1>(GetParam());
    Bench b(info, fault.faults);
    const uint32_t at = 0x10000; // a 64K or 128K block on every chip here
    if (fault.erase) b.chip.Load(at, {0x00, 0x00});
    const uint64_t typ = b.chip.CyclesFor(fault.erase ? info.busy.eraseTyp : info.busy.programTyp);
    const uint64_t max = b.chip.CyclesFor(fault.erase ? info.busy.eraseMax : info.busy.programMax);
    fault.erase ? b.Erase(at) : b.Program(at, 0x0000);
    // An SST part does not verify: it finishes unless it never does (or the sector is bad).
    const bool succeeds = b.sst   ? !fault.faults.neverFinishes && fault.faults.badSectors.empty()
                          : b.amd ? fault.expectedWord == (fault.erase ? 0xFFFF : 0x0000)
                                  : fault.intelStatus == kSr7;

    if (b.amd) {
        // Failing: still toggling at the maximum time without DQ5, then DQ5 from the limit on.
        b.now += max - 1;
        const uint16_t before = b.chip.Read16(at);
        b.now += 1;
        const Bench::Poll poll = b.Wait(at, typ);
        if (succeeds) {
            EXPECT_TRUE(poll.ready);
        } else if (b.sst) { // no DQ5: it toggles on until a reset
            EXPECT_FALSE(poll.ready || poll.timedOut);
            EXPECT_EQ(poll.status & kDq5, 0x00);
            b.chip.Reset();
        } else {
            EXPECT_EQ(before & kDq5, 0x00);
            EXPECT_TRUE(poll.timedOut) << std::hex << poll.status;
            b.W(0x123, 0x00); // ignored: only the reset leaves the time-out
            EXPECT_NE(b.chip.Read16(at) & kDq5, 0x00);
            b.ReadArray();
        }
        EXPECT_TRUE(b.chip.InReadMode());
    } else {
        const Bench::Poll poll = b.Wait(at, max * 4);
        EXPECT_EQ(poll.status, fault.intelStatus) << std::hex << poll.status;
        if (fault.intelStatus == 0) {
            EXPECT_TRUE(b.chip.Busy());
            b.chip.Reset(); // RP#: the only way out of an operation that never ends
        } else {
            b.W(0, 0x50);
        }
        b.ReadArray();
    }
    EXPECT_EQ(b.chip.Read16(at), fault.expectedWord);
}

TEST_P(EveryChip, TheOtherFamilysSequencesChangeNothing) {
    Bench b(Info());
    const uint32_t block = b.Block();
    for (uint32_t i = 0; i < 64; i += 2)
        b.chip.Load(block + i, {static_cast<uint8_t>(i), 0x5A});
    b.chip.Load(0, {0x12, 0x34});
    const std::vector<uint16_t> before = b.Words();
    auto w = [&](uint32_t offset, uint16_t value) { b.chip.Write16(offset, value); };
    if (b.amd) {
        // Intel: read array, identifier, status, program (both codes), block erase, lock bits.
        const uint16_t sequences[][2] = {{0xFF, 0xFF},   {0x90, 0xFF}, {0x70, 0x50}, {0x40, 0x0000},
                                         {0x10, 0x0000}, {0x20, 0xD0}, {0x60, 0x01}, {0x60, 0xD0}};
        for (const auto& seq : sequences) {
            w(block, seq[0]);
            w(block, seq[1]);
            EXPECT_EQ(b.chip.Read16(block), before[block / 2]) << std::hex << seq[0];
            EXPECT_TRUE(b.chip.InReadMode());
        }
    } else {
        // AMD: autoselect (then its reset), program, sector erase; the wrong ones only set the
        // command-sequence error and leave the chip in read status.
        b.Unlock();
        b.W(0x5555, 0x90);
        EXPECT_EQ(b.chip.Read16(0), Info().manufacturer) << "0x90 is read identifier too";
        b.W(0, 0xF0);
        b.Unlock();
        b.W(0x5555, 0xA0);
        w(block, 0x1234);
        b.Unlock();
        b.W(0x5555, 0x80);
        b.Unlock();
        w(block, 0x30);
        EXPECT_EQ(b.chip.Read16(block), kSr7 | kSr5 | kSr4);
        EXPECT_FALSE(b.chip.Busy());
        b.W(0, 0x50);
        b.W(0, 0xFF);
        EXPECT_EQ(b.chip.Read16(block), before[block / 2]);
    }
    EXPECT_EQ(b.Words(), before);
}

TEST(FlashChipAmd, SectorEraseWindowTakesMoreSectorsAndDq2ShowsWhichAreErasing) {
    Bench b(*FindFlashChip("AM29LV160DB"));
    const uint32_t s4 = b.chip.SectorStart(4), s5 = b.chip.SectorStart(5);
    const uint32_t s6 = b.chip.SectorStart(6);
    b.chip.Load(s4, {0});
    b.chip.Load(s5, {0});
    b.chip.Load(s6, {0});
    b.Erase(s4);
    EXPECT_EQ(b.chip.Read16(s4) & kDq3, 0x00) << "window still open";
    b.now += b.chip.CyclesFor(40);
    b.chip.Write16(s5, 0x30); // joins, and the 50 µs window restarts
    b.now += b.chip.CyclesFor(40);
    EXPECT_EQ(b.chip.Read16(s4) & kDq3, 0x00);
    b.now += b.chip.CyclesFor(10);
    const uint16_t in1 = b.chip.Read16(s5), in2 = b.chip.Read16(s5);
    const uint16_t out1 = b.chip.Read16(s6), out2 = b.chip.Read16(s6);
    EXPECT_NE(in1 & kDq3, 0x00) << "erasing";
    EXPECT_NE(in1 & kDq2, in2 & kDq2) << "DQ2 toggles in an erasing sector";
    EXPECT_EQ(out1 & kDq2, out2 & kDq2) << "and not elsewhere";
    // Two sectors take twice one sector's time.
    b.now += 2 * b.chip.CyclesFor(b.chip.Info().busy.eraseTyp) - 1;
    EXPECT_TRUE(b.chip.Busy());
    b.now += 1;
    EXPECT_FALSE(b.chip.Busy());
    EXPECT_EQ(b.chip.Read16(s4), 0xFFFF);
    EXPECT_EQ(b.chip.Read16(s5), 0xFFFF);
    EXPECT_EQ(b.chip.Read16(s6), 0xFF00);

    // Another command in the window cancels the erase.
    b.Erase(s6);
    b.W(0x555, 0xAA);
    EXPECT_TRUE(b.chip.InReadMode());
    b.now += b.chip.CyclesFor(b.chip.Info().busy.eraseTyp * 2);
    EXPECT_EQ(b.chip.Read16(s6), 0xFF00);
}

// SST decodes fifteen address lines: the AMD addresses and one-cycle query are no commands to
// it. Block erase (0x50) clears the 64 KiB block holding the address, at once, in one busy time.
TEST(FlashChipSst, TakesOnlyItsOwnAddressesAndErasesA64KBlockWith0x50) {
    Bench b(*FindFlashChip("SST39VF1601"));
    for (uint32_t at : {0xFFFEu, 0x10000u, 0x1FFFEu, 0x20000u})
        b.chip.Load(at, {0x00, 0x11});
    b.W(0x55, 0x98);
    b.W(0x555, 0xAA);
    b.W(0x2AA, 0x55);
    b.W(0x555, 0x90);
    EXPECT_EQ(b.chip.Read16(0x10000), 0x1100);
    EXPECT_TRUE(b.chip.InReadMode());
    b.Unlock();
    b.W(0x5555, 0x80);
    b.Unlock();
    b.chip.Write16(0x11234, 0x50);
    b.now += b.chip.CyclesFor(b.chip.Info().busy.eraseTyp) - 1;
    EXPECT_TRUE(b.chip.Busy());
    b.now += 1;
    EXPECT_EQ(b.chip.Read16(0x10000), 0xFFFF);
    EXPECT_EQ(b.chip.Read16(0x1FFFE), 0xFFFF);
    EXPECT_EQ(b.chip.Read16(0xFFFE), 0x1100);
    EXPECT_EQ(b.chip.Read16(0x20000), 0x1100);
}

TEST(FlashChipIntel, WriteToBufferProgramsUpToSixteenWordsInOneBusyTime) {
    Bench b(*FindFlashChip("28F320J3"));
    const uint32_t block = 0x40000;
    auto load = [&](uint16_t countMinusOne, uint32_t from, uint16_t confirm) {
        b.chip.Write16(block, 0xE8);
        EXPECT_EQ(b.chip.Read16(block), kSr7) << "XSR7: the buffer is free";
        b.chip.Write16(block, countMinusOne);
        for (uint32_t i = 0; i <= countMinusOne && countMinusOne < 16; ++i)
            b.chip.Write16(from + 2 * i, static_cast<uint16_t>(0x1100 + i));
        b.chip.Write16(block, confirm);
    };
    const uint64_t busy = b.chip.CyclesFor(b.chip.Info().busy.bufferProgramTyp);
    load(15, block + 0x20, 0xD0);
    b.now += busy - 1;
    EXPECT_EQ(b.chip.Read16(block), 0x0000) << "busy";
    b.now += 1;
    EXPECT_EQ(b.chip.Read16(block), kSr7);
    b.W(0, 0xFF);
    EXPECT_EQ(b.chip.Read16(block + 0x20), 0x1100);
    EXPECT_EQ(b.chip.Read16(block + 0x20 + 30), 0x110F);
    EXPECT_EQ(b.chip.Read16(block + 0x20 + 32), 0xFFFF);

    // One case per mistake: too many words, a word outside the block, no confirm.
    const std::vector<uint16_t> before = b.Words();
    for (const auto& [count, from, confirm] :
         {std::tuple<uint16_t, uint32_t, uint16_t>{16, block, 0xD0},
          {1, block - 2, 0xD0},
          {1, block + 0x100, 0xFF}}) {
        load(count, from, confirm);
        EXPECT_EQ(b.chip.Read16(block), kSr7 | kSr5 | kSr4) << count << " " << from;
        EXPECT_FALSE(b.chip.Busy());
        b.W(0, 0x50);
    }
    b.W(0, 0xFF);
    EXPECT_EQ(b.Words(), before);

    // The 28F160B3 has no buffer: 0xE8 is an unknown command there.
    Bench boot(*FindFlashChip("28F160B3B"));
    boot.W(0, 0xE8);
    EXPECT_EQ(boot.chip.Read16(0), kSr7 | kSr5 | kSr4);
}

TEST(FlashChipTime, WithoutACycleSourceEveryOperationHasEndedByTheNextCycle) {
    FlashChip fast(*FindFlashChip("28F320J3"));
    fast.Write16(0x20000, 0x20);
    fast.Write16(0x20000, 0xD0);
    EXPECT_EQ(fast.Read16(0x20000), 0x0080);

    FlashChip stuck(*FindFlashChip("M29W160EB"), FlashTiming{}, FlashFaults{.neverFinishes = true});
    stuck.Write16(0x555 * 2, 0xAA);
    stuck.Write16(0x2AA * 2, 0x55);
    stuck.Write16(0x555 * 2, 0xA0);
    stuck.Write16(0x100, 0x0000);
    EXPECT_NE(stuck.Read16(0x100) & kDq5, 0x00) << "the limit has passed at once";

    // The CPU clock and the scale turn microseconds into cycles.
    uint64_t cycles = 0;
    FlashChip slow(*FindFlashChip("AM29LV160DB"),
                   FlashTiming{.cpuClockHz = 50'000'000, .busyPercent = 10});
    EXPECT_EQ(slow.CyclesFor(1000), 0u);
    slow.SetCycleSource(&cycles);
    EXPECT_EQ(slow.CyclesFor(1000), 5000u);
}

} // namespace
} // namespace tapster::board
