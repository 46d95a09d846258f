// Host cost of the "Check" button on the simulated board: the short and the million-bit long
// loop-back test at delay 0 and the CPU identification after them. Wall time, CPU time and TCK
// periods per second of CPU time.
#include "bench_session.h"

#include <benchmark/benchmark.h>

namespace {

void BM_HardwareCheck(benchmark::State& state) {
    tapster::bench::Session s("check");
    uint64_t clocks = 0;
    for (auto _ : state) {
        const uint64_t before = s.board->TckCount();
        tapster::cmdDelayClick();
        clocks += s.board->TckCount() - before;
        if (s.form.LastLogLine() != "CPU type: STi5510") {
            state.SkipWithError("the check did not pass");
            break;
        }
    }
    state.counters["tck"] =
        benchmark::Counter(static_cast<double>(clocks), benchmark::Counter::kAvgIterations);
    state.counters["tck_per_s"] =
        benchmark::Counter(static_cast<double>(clocks), benchmark::Counter::kIsRate);
    if (!s.form.errorBoxes.empty()) state.SkipWithError(s.form.errorBoxes.front().c_str());
}
BENCHMARK(BM_HardwareCheck)->Unit(benchmark::kMillisecond);

} // namespace
