// The window's longest stretch without processing events on the simulated board, in TCK clocks,
// in wall milliseconds and in milliseconds of CPU time (the part that does not depend on what
// else the machine runs): during a block scan (the internal ROM dump, 512 blocks) and during a
// programming run (64 KiB "Write from File", 16 chunks; the stretch does not grow with the length).
// The scan lets the window in before every 256-byte block; the programming run at every agent
// poll, and not during the copy of a 4 KiB chunk into the agent's buffer (17 block writes). The
// agent wait reads the mailbox before its first pause, so an agent that is done by then lets no
// event in at all. The argument is the flash chip's busy times in percent of the data sheet's:
// 0 (every operation done at once, the agent's own instructions only) or the board's default 1.
#include "bench_session.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>

namespace {

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}
double WallMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Follows the stretches between event processings of one command.
class StretchMeter {
  public:
    explicit StretchMeter(tapster::bench::Session& s) : s_(s) {
        s_.form.onEvent = [this](int) { Mark(true); };
    }
    ~StretchMeter() { s_.form.onEvent = nullptr; }
    void Begin() {
        lastClocks_ = s_.board->TckCount();
        lastWall_ = WallMs();
        lastCpu_ = CpuMs();
    }
    // At an event processing, or (event false) at the end of the command.
    void Mark(bool event) {
        const uint64_t clocks = s_.board->TckCount();
        const double wall = WallMs(), cpu = CpuMs();
        maxClocks = std::max(maxClocks, clocks - lastClocks_);
        maxWall = std::max(maxWall, wall - lastWall_);
        maxCpu = std::max(maxCpu, cpu - lastCpu_);
        lastClocks_ = clocks;
        lastWall_ = wall;
        lastCpu_ = cpu;
        if (event) ++events;
    }
    void Report(benchmark::State& state) const {
        state.counters["max_clocks"] = static_cast<double>(maxClocks);
        state.counters["max_ms_wall"] = maxWall;
        state.counters["max_ms_cpu"] = maxCpu;
        state.counters["events"] =
            benchmark::Counter(static_cast<double>(events), benchmark::Counter::kAvgIterations);
    }

    uint64_t maxClocks = 0;
    double maxWall = 0, maxCpu = 0;
    uint64_t events = 0;

  private:
    tapster::bench::Session& s_;
    uint64_t lastClocks_ = 0;
    double lastWall_ = 0, lastCpu_ = 0;
};

void BM_StretchRomScan(benchmark::State& state) {
    tapster::bench::Session s("stretch_scan");
    StretchMeter meter(s);
    for (auto _ : state) {
        meter.Begin();
        tapster::cmdReadRomClick();
        meter.Mark(false); // the stretch after the last event counts too
    }
    meter.Report(state);
    if (!s.form.errorBoxes.empty()) state.SkipWithError(s.form.errorBoxes.front().c_str());
}
BENCHMARK(BM_StretchRomScan)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_StretchProgram64KiB(benchmark::State& state) {
    tapster::board::BoardConfig config = tapster::bench::FastAgentBoard();
    config.flash.busyPercent = static_cast<uint32_t>(state.range(0));
    tapster::bench::Session s("stretch_program", config);
    if (!s.TakeAgent()) {
        state.SkipWithError("the agent was not taken");
        return;
    }
    s.form.everyFile = s.WriteFile("image.bin", 0x10000);
    s.form.SetText("lstFlashBase", "60000000");
    s.form.SetText("txtFromAddr", "60000000");
    s.form.SetText("txtFlashLen", "10000");
    StretchMeter meter(s);
    for (auto _ : state) {
        meter.Begin();
        tapster::cmdWriteFlashClick();
        meter.Mark(false);
    }
    meter.Report(state);
    if (!s.form.errorBoxes.empty()) state.SkipWithError(s.form.errorBoxes.front().c_str());
}
BENCHMARK(BM_StretchProgram64KiB)
    ->ArgName("busyPercent")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
