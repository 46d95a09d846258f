// Host and link cost of the flash page and the DCU tools on the simulated board: a 2 MiB
// "Write from File" and "Read to File" with an agent that answers at its first poll (so only the
// host and the link are measured), the trap survey, and 100 DCU monitor ticks. Wall time, CPU
// time, TCK periods and bytes per second.
#include "bench_session.h"
#include "jtag/agent_calls.h"
#include "ops/commands.h"
#include "ops/services.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>

namespace {

constexpr uint32_t kImageBytes = 0x200000;

// A board with the agent loaded, installed and taken, the flash page set to the whole chip.
class AgentSession : public tapster::bench::Session {
  public:
    AgentSession() : Session("flash", tapster::bench::FastAgentBoard(), 0) {
        image = WriteFile("image.bin", kImageBytes);
        taken = TakeAgent();
        form.SetText("lstFlashBase", "60000000");
        form.SetText("txtFromAddr", "60000000");
        form.SetText("txtFlashLen", "200000");
    }

    bool Ready() const { return taken && form.errorBoxes.empty(); }

    std::string image;
    bool taken = false;
};

void Report(benchmark::State& state, AgentSession& s, uint64_t clocks, uint64_t bytes) {
    state.counters["tck"] =
        benchmark::Counter(static_cast<double>(clocks), benchmark::Counter::kAvgIterations);
    if (bytes != 0) state.SetBytesProcessed(static_cast<int64_t>(bytes));
    if (!s.Ready())
        state.SkipWithError(s.form.errorBoxes.empty() ? "the agent was not taken"
                                                      : s.form.errorBoxes.front().c_str());
}

void BM_WriteFromFile2MiB(benchmark::State& state) {
    AgentSession s;
    s.form.everyFile = s.image;
    uint64_t clocks = 0, bytes = 0;
    for (auto _ : state) {
        const uint64_t before = s.board->TckCount();
        tapster::cmdWriteFlashClick();
        clocks += s.board->TckCount() - before;
        bytes += kImageBytes;
        if (s.form.LogLines().empty() || s.form.LogLines()[s.form.LogLines().size() - 2] != "Done.")
            state.SkipWithError("the write did not complete");
    }
    Report(state, s, clocks, bytes);
}
BENCHMARK(BM_WriteFromFile2MiB)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ReadToFile2MiB(benchmark::State& state) {
    AgentSession s;
    s.form.everyFile = (s.dir / "dump.bin").string();
    uint64_t clocks = 0, bytes = 0;
    for (auto _ : state) {
        const uint64_t before = s.board->TckCount();
        tapster::cmdReadToFileClick();
        clocks += s.board->TckCount() - before;
        bytes += kImageBytes;
    }
    if (std::filesystem::file_size(s.form.everyFile) != kImageBytes)
        state.SkipWithError("the dump is not 2 MiB");
    Report(state, s, clocks, bytes);
}
BENCHMARK(BM_ReadToFile2MiB)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_TrapSurvey(benchmark::State& state) {
    AgentSession s;
    uint64_t clocks = 0;
    for (auto _ : state) {
        const uint64_t before = s.board->TckCount();
        tapster::cmdChkTrapsClick();
        clocks += s.board->TckCount() - before;
    }
    Report(state, s, clocks, 0);
}
BENCHMARK(BM_TrapSurvey)->Unit(benchmark::kMillisecond);

void BM_MonitorHundredTicks(benchmark::State& state) {
    AgentSession s;
    tapster::cmdStartDCUClick();
    uint64_t clocks = 0;
    for (auto _ : state) {
        const uint64_t before = s.board->TckCount();
        for (int i = 0; i < 100; ++i)
            tapster::Timer1Timer();
        clocks += s.board->TckCount() - before;
    }
    tapster::cmdStartDCUClick();
    Report(state, s, clocks, 0);
}
BENCHMARK(BM_MonitorHundredTicks)->Unit(benchmark::kMillisecond);

} // namespace
