// Host cost of the two longest memory commands on the simulated board: the full two-window
// "Find Free Mem" (2 x 8192 block reads of 256 bytes) and the internal ROM dump (512 blocks to
// intRom.bin). Wall time, CPU time and TCK periods per second of CPU time.
#include "bench_session.h"
#include "ops/commands.h"

#include <benchmark/benchmark.h>

namespace {

using tapster::bench::Session;

// The default board layout: the search runs in both windows.
const tapster::board::BoardConfig kDefaultBoard{};

void Report(benchmark::State& state, const Session& session, uint64_t clocks) {
    state.counters["tck"] = static_cast<double>(clocks);
    state.counters["tck_per_s"] =
        benchmark::Counter(static_cast<double>(clocks), benchmark::Counter::kIsRate);
    if (!session.form.errorBoxes.empty())
        state.SkipWithError(session.form.errorBoxes.front().c_str());
}

void BM_FindFreeMemTwoWindows(benchmark::State& state) {
    Session session("find_free_mem", kDefaultBoard, 0);
    uint64_t clocks = 0;
    for (auto _ : state) {
        const uint64_t before = session.board->TckCount();
        tapster::cmdMemSeekClick();
        clocks += session.board->TckCount() - before;
    }
    Report(state, session, clocks);
}
BENCHMARK(BM_FindFreeMemTwoWindows)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ReadInternalRom(benchmark::State& state) {
    Session session("rom", kDefaultBoard, 0); // intRom.bin goes to the session's directory
    uint64_t clocks = 0;
    for (auto _ : state) {
        const uint64_t before = session.board->TckCount();
        tapster::cmdReadRomClick();
        clocks += session.board->TckCount() - before;
    }
    Report(state, session, clocks);
}
BENCHMARK(BM_ReadInternalRom)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
