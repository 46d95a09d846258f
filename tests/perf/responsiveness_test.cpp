// How long the window goes without processing events during a block scan and a programming
// run, in TCK clocks counted on the wire (the time follows from the clock rate; the benchmark
// tapster_bench --benchmark_filter=Stretch reports it in ms). The scan lets the window in once per
// 256-byte block and the programming run once per agent poll, so the longest stretch must not
// grow with the length of the operation. The programming run's longest stretch is the copy of
// one 4 KiB chunk into the agent's buffer (17 block writes) with the mailbox command after it:
// that copy processes no events.
#include "board_session.h"
#include "core/hex.h"
#include "ops/commands.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tapster::test {
namespace {

class Responsiveness : public BoardTest {
  protected:
    void SetUp() override {
        UseA2400MHzPc();
        StartOnWire(FlashClearOfRom());
    }

    // Runs `command` and returns the longest run of clocks between two event processings (the
    // runs before the first and after the last included); `events` gets their number.
    template <typename Command> uint64_t LongestStretch(Command command, int& events) {
        uint64_t longest = 0;
        uint64_t last = wire->Clocks();
        const int before = form.events;
        form.onEvent = [&](int) {
            longest = std::max(longest, wire->Clocks() - last);
            last = wire->Clocks();
        };
        command();
        form.onEvent = nullptr;
        events = form.events - before;
        return std::max(longest, wire->Clocks() - last);
    }

    uint64_t ScanStretch(uint32_t blocks, uint64_t& clocks, int& events) {
        const uint64_t start = wire->Clocks();
        const uint64_t longest = LongestStretch(
            [&] { ReadToFile("40000000", HexMin(blocks * 256, 1), "scan.bin"); }, events);
        clocks = wire->Clocks() - start;
        EXPECT_EQ(std::filesystem::file_size(dir / "scan.bin"), blocks * 256u);
        return longest;
    }

    uint64_t WriteStretch(uint32_t chunks, int& events) {
        const std::string image = WriteFile("image.bin", chunks * 4096u, 0x33);
        const uint64_t longest =
            LongestStretch([&] { WriteFlash(image, HexMin(chunks * 4096u, 1)); }, events);
        EXPECT_EQ(form.LogLines()[form.LogLines().size() - 2], "Done.");
        return longest;
    }
};

TEST_F(Responsiveness, ScanLetsTheWindowInAtEveryBlock) {
    uint64_t clocks4 = 0, clocks16 = 0;
    int events4 = 0, events16 = 0;
    const uint64_t longest4 = ScanStretch(4, clocks4, events4);
    const uint64_t longest16 = ScanStretch(16, clocks16, events16);
    // One event per block on top of the JTAG start's pause.
    EXPECT_EQ(events16 - events4, 12);
    // Twelve more blocks, the same longest stretch: about one block read.
    EXPECT_EQ(longest16, longest4);
    const uint64_t perBlock = (clocks16 - clocks4) / 12;
    EXPECT_LE(longest16, perBlock + perBlock / 10) << "clocks per block " << perBlock;
    RecordProperty("longest_scan_stretch_clocks", std::to_string(longest16));
    RecordProperty("scan_clocks_per_block", std::to_string(perBlock));
    std::printf("scan: longest stretch %llu clocks, %llu clocks per block\n",
                static_cast<unsigned long long>(longest16),
                static_cast<unsigned long long>(perBlock));
}

TEST_F(Responsiveness, ProgrammingLetsTheWindowInAtEveryChunk) {
    ASSERT_TRUE(TakeAgent());
    int events2 = 0, events4 = 0;
    const uint64_t longest2 = WriteStretch(2, events2);
    const uint64_t before = wire->Clocks();
    const uint64_t longest4 = WriteStretch(4, events4);
    const uint64_t clocks4 = wire->Clocks() - before;
    EXPECT_GT(events4, events2);
    // Twice the data, the same longest stretch: one chunk's copy and command.
    EXPECT_EQ(longest4, longest2);
    EXPECT_LT(longest4, clocks4 / 4);
    RecordProperty("longest_program_stretch_clocks", std::to_string(longest4));
    std::printf("programming: longest stretch %llu clocks, %llu clocks per 4 KiB chunk\n",
                static_cast<unsigned long long>(longest4),
                static_cast<unsigned long long>(clocks4 / 4));
}

} // namespace
} // namespace tapster::test
