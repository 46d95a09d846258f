// The simulated board's speed through the port interface: TCK clocks per second while a host
// bit-bangs link reads of 256-byte blocks (drain, command, address, reply), the traffic of a
// free-memory search. Run: tapster_bench --benchmark_filter=Board
#include "../tests/board/bitbang_host.h"
#include "board/board.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using tapster::board::Board;
using tapster::board::BoardConfig;

void BoardLinkReadBlock(benchmark::State& state) {
    Board board(BoardConfig{}); // with its active parts, as --simulate runs it
    tapster::PortBackend* port = &board;
    benchmark::DoNotOptimize(port); // keep every register access a virtual call
    board_test::BitbangHost host(*port);
    host.SetControl(true);
    host.EnterLink();
    std::vector<uint8_t> data;
    uint32_t offset = 0;
    const uint64_t first = host.clocks;
    for (auto _ : state) {
        if (host.ReadBlock(tapster::board::kSdramBase + offset, data) != 256) {
            state.SkipWithError("block read failed");
            break;
        }
        offset = (offset + 256) % tapster::board::kSdramSize;
    }
    const double clocks = static_cast<double>(host.clocks - first);
    state.counters["clocks_per_s"] = benchmark::Counter(clocks, benchmark::Counter::kIsRate);
    state.counters["clocks_per_block"] =
        benchmark::Counter(clocks / static_cast<double>(state.iterations()));
}
BENCHMARK(BoardLinkReadBlock)->Unit(benchmark::kMicrosecond);

// The plainest path for comparison: clocks through BYPASS.
void BoardBypassShift(benchmark::State& state) {
    Board board(BoardConfig{}, Board::Parts::None);
    tapster::PortBackend* port = &board;
    benchmark::DoNotOptimize(port);
    board_test::BitbangHost host(*port);
    host.SetControl(true);
    host.Reset();
    host.ShiftIr(0x1F);
    host.Clock(true, false);
    host.Clock(false, false);
    host.Clock(false, false);
    bool tdi = false;
    const uint64_t first = host.clocks;
    for (auto _ : state) {
        for (int i = 0; i < 1024; ++i) {
            benchmark::DoNotOptimize(host.Clock(false, tdi));
            tdi = !tdi;
        }
    }
    state.counters["clocks_per_s"] =
        benchmark::Counter(static_cast<double>(host.clocks - first), benchmark::Counter::kIsRate);
}
BENCHMARK(BoardBypassShift);

} // namespace
