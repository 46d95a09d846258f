// The bytes on the wire of a fixed workflow on the simulated board, section by section, against
// the trace recorded in wire_trace.golden before any speed work: an optimisation of the engine,
// the link or the commands must not change one port write or read, nor their order.
//
// Each section is the count of port writes, port reads and TCK clocks and a 64-bit FNV-1a hash
// of every access in order. Everything runs on the test form's virtual clock, so no count
// depends on how fast the machine is.
//
//   TAPSTER_WIRE_GOLDEN_UPDATE=1  rewrites the golden file (only for an intended change of the
//                                 wire traffic; say why in the commit)
//   TAPSTER_WIRE_DUMP=<file>      writes every access as text, to diff two versions line by line
#include "board/memory_map.h"
#include "board_session.h"
#include "core/hex.h"
#include "mpsse_model.h"
#include "ops/commands.h"
#include "port/ftdi_backend.h"
#include "port/qzportio.h"
#include "queued_port.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tapster::test {
namespace {

struct Section {
    std::string name;
    WirePort::Totals totals;
    uint64_t roundTrips = 0; // on a cable that queues its samples
};

std::string Format(const std::vector<Section>& sections) {
    std::string out;
    char line[160];
    for (const Section& s : sections) {
        std::snprintf(
            line, sizeof line, "%-12s %10" PRIu64 " %10" PRIu64 " %10" PRIu64 " %016" PRIx64 "\n",
            s.name.c_str(), s.totals.writes, s.totals.reads, s.totals.clocks, s.totals.hash);
        out += line;
    }
    return out;
}

// The golden file without its comment lines.
std::string ReadGolden(bool& found) {
    std::ifstream in(TAPSTER_WIRE_GOLDEN);
    found = static_cast<bool>(in);
    std::string out, line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') out += line + "\n";
    return out;
}

void WriteGolden(const std::string& body) {
    std::ofstream out(TAPSTER_WIRE_GOLDEN);
    out << "# Wire trace of the fixed workflow in wire_trace_test.cpp on the simulated board.\n"
           "# section      writes      reads     clocks fnv1a64(kind, port, byte of each access)\n"
        << body;
}

// The sample buffer size that stands for the FTDI cable on the MPSSE model.
constexpr size_t kOnFtdi = 0;

// The workflow runs on the board as it is, whose reads answer at once, behind a cable that
// queues its samples as a remote server does, and on the FTDI cable (the wire between the MPSSE
// model's pins and the board): all must put the same bytes on the wire.
class WireTrace : public BoardTest, public ::testing::WithParamInterface<size_t> {
  protected:
    void SetUp() override {
        UseA2400MHzPc();
        if (const char* path = std::getenv("TAPSTER_WIRE_DUMP")) dump = std::fopen(path, "w");
    }
    // Runs one step of the workflow as its own section of the trace.
    template <typename Step> void Record(const std::string& name, Step step) {
        wire->Restart(name);
        const uint64_t trips = RoundTrips();
        step();
        sections.push_back({name, wire->Section(), RoundTrips() - trips});
        EXPECT_TRUE(form.errorBoxes.empty()) << name << ": " << form.errorBoxes.front();
        form.errorBoxes.clear();
    }

    uint64_t RoundTrips() const {
        return ftdi ? ftdi->RoundTrips() : queued ? queued->RoundTrips() : 0;
    }

    void TearDown() override {
        SetPortBackend(nullptr);
        queued.reset();
        if (ftdi) {
            EXPECT_EQ(model->Refusals(), std::vector<std::string>{});
        }
        ftdi.reset();
        if (dump != nullptr) std::fclose(dump);
        dump = nullptr;
    }

    std::FILE* dump = nullptr;
    std::vector<Section> sections;
    std::unique_ptr<QueuedPort> queued;
    MpsseModel* model = nullptr;
    std::unique_ptr<FtdiBackend> ftdi;
};

TEST_P(WireTrace, WorkflowSendsAndReadsExactlyTheRecordedBytes) {
    StartOnWire(FlashClearOfRom());
    if (GetParam() > 1) {
        queued = std::make_unique<QueuedPort>(*wire, GetParam());
        SetPortBackend(queued.get());
    }
    if (GetParam() == kOnFtdi) {
        auto chip = std::make_unique<MpsseModel>(*wire);
        model = chip.get();
        ftdi = std::make_unique<FtdiBackend>(FtdiOptions{}, std::move(chip));
        SetPortBackend(ftdi.get());
    }
    wire->DumpTo(dump);

    Record("check", [&] { cmdDelayClick(); });
    EXPECT_TRUE(form.Logged("Long test result - -1"));
    EXPECT_TRUE(form.Logged("CPU type: STi5510"));

    // "Find Free Mem" from just below the 6 KiB erased area of the default SDRAM, with "Abort !"
    // (not waiting) pressed at the 48th block: 12 KiB scanned, the area found on the way.
    Record("search", [&] {
        form.SetText("txtRAM", "4013F000");
        int blocks = 0;
        form.onEvent = [&](int) {
            if (blocks == 0 && form.LastLogLine() != "Searching RAM ...") return;
            if (++blocks != 48) return;
            form.yesNoAnswers.push_back(false);
            cmdCancelClick();
        };
        cmdMemSeekClick();
        form.onEvent = nullptr;
        EXPECT_EQ(blocks, 48);
    });
    EXPECT_TRUE(form.Logged("Free memory found : Start address - 40140000;"));
    EXPECT_TRUE(form.Logged("******************** Length : 00001800;"));

    std::vector<uint8_t> rom;
    Record("rom", [&] { rom = ReadToFile("7FFE0000", "800", "rom.bin"); });
    ASSERT_EQ(rom.size(), 0x800u);
    for (uint32_t i = 0; i < rom.size(); ++i)
        ASSERT_EQ(rom[i], board::RomByte(i)) << i;

    Record("agent", [&] { ASSERT_TRUE(TakeAgent()); });
    Record("flash-id", [&] {
        form.SetText("lstFlashBase", "60000000");
        cmdGetDevCodeClick();
    });
    EXPECT_TRUE(form.Visible("lblFlashCode"));

    // Two chunks, the second a partial one.
    const std::string image = WriteFile("image.bin", 0x1800, 0x21);
    Record("flash-write", [&] { WriteFlash(image, "1800"); });
    EXPECT_EQ(form.LogLines()[form.LogLines().size() - 2], "Done.");
    std::vector<uint8_t> back;
    Record("flash-read", [&] { back = ReadToFile("60000000", "1800", "back.bin"); });
    EXPECT_EQ(back, ReadFileBytes(image));

    Record("survey", [&] { cmdChkTrapsClick(); });
    Record("monitor", [&] {
        cmdStartDCUClick();
        for (int i = 0; i < 3; ++i)
            Timer1Timer();
        cmdStartDCUClick();
    });
    EXPECT_FALSE(form.TimerEnabled());

    const std::string now = Format(sections);
    if (GetParam() != 1) {
        if (queued) {
            EXPECT_EQ(queued->Overflows(), 0u);
            EXPECT_EQ(queued->Unread(), 0u);
        }
        // The clocks run ahead of their samples: the loop-back test as far as the buffer
        // allows (about all of it), the link operations by a start wait and a byte's data clocks
        // at a time.
        for (const Section& s : sections) {
            const uint64_t perTrip = s.totals.clocks / (s.roundTrips + 1);
            std::printf("%-12s %8llu clocks per round trip\n", s.name.c_str(),
                        static_cast<unsigned long long>(perTrip));
            EXPECT_GE(perTrip, s.name == "check" ? PortSampleBufferSize() / 2 : 6u) << s.name;
        }
    }
    if (GetParam() == 1 && std::getenv("TAPSTER_WIRE_GOLDEN_UPDATE") != nullptr) WriteGolden(now);
    bool found = false;
    const std::string golden = ReadGolden(found);
    ASSERT_TRUE(found) << "no golden trace at " << TAPSTER_WIRE_GOLDEN
                       << "; record it with TAPSTER_WIRE_GOLDEN_UPDATE=1 on the unchanged code";
    EXPECT_EQ(now, golden) << "the wire traffic changed; to see where, run with "
                              "TAPSTER_WIRE_DUMP=<file> on this and on the previous version and "
                              "diff the two files";
}

INSTANTIATE_TEST_SUITE_P(SampleBuffer, WireTrace,
                         ::testing::Values(size_t{1}, size_t{1024}, kOnFtdi), [](const auto& info) {
                             return info.param == 1         ? std::string("AtHand")
                                    : info.param == kOnFtdi ? std::string("Ftdi")
                                                            : "Queued" + std::to_string(info.param);
                         });

// The recorder itself: the same accesses give the same section, any changed byte, port or
// order a different hash, and clocks count rising TCK edges only.
class NullPort final : public PortBackend {
  public:
    void WriteRegister(uint16_t, uint8_t) override {}
    uint8_t ReadRegister(uint16_t) override { return 0x7F; }
    std::string Name() const override { return "null"; }
};

WirePort::Totals Play(const std::vector<std::pair<char, uint8_t>>& accesses) {
    NullPort inner;
    WirePort wire(inner);
    for (const auto& [kind, value] : accesses) {
        if (kind == 'W')
            wire.WriteRegister(0x378, value);
        else
            wire.ReadRegister(0x379);
    }
    return wire.Section();
}

TEST(WirePort, HashFollowsEveryByteAndTheOrder) {
    const auto base = Play({{'W', 0x00}, {'W', 0x02}, {'R', 0}, {'W', 0x00}});
    EXPECT_EQ(base.hash, Play({{'W', 0x00}, {'W', 0x02}, {'R', 0}, {'W', 0x00}}).hash);
    EXPECT_NE(base.hash, Play({{'W', 0x00}, {'W', 0x06}, {'R', 0}, {'W', 0x00}}).hash);
    EXPECT_NE(base.hash, Play({{'W', 0x00}, {'R', 0}, {'W', 0x02}, {'W', 0x00}}).hash);
    EXPECT_NE(base.hash, Play({{'W', 0x00}, {'W', 0x02}, {'W', 0x00}}).hash);
    EXPECT_EQ(base.writes, 3u);
    EXPECT_EQ(base.reads, 1u);
}

TEST(WirePort, CountsRisingClockEdgesOnly) {
    // Low, high, high again (no edge), low, high with other lines: two rising edges.
    const auto t = Play({{'W', 0x00}, {'W', 0x02}, {'W', 0x03}, {'W', 0x01}, {'W', 0x07}});
    EXPECT_EQ(t.clocks, 2u);
}

} // namespace
} // namespace tapster::test
