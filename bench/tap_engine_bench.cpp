// Host cost of one TCK period of the TAP bit engine at JtagDelay = 0: on a port backend that
// does nothing (the engine's own share; a real parallel port needs about 1 us per register
// access, and the engine should stay below 2 % of that, 20 ns per clock) and, when the simulated
// board is built, on the board (what a simulated session pays per clock).
#include "jtag/tap_engine.h"
#include "port/port_backend.h"

#include <benchmark/benchmark.h>

#if __has_include("board/board.h")
#include "board/board.h"
#define TAPSTER_BENCH_BOARD 1
#endif

namespace {

class NullPort final : public tapster::PortBackend {
  public:
    void WriteRegister(uint16_t, uint8_t value) override { benchmark::DoNotOptimize(value); }
    uint8_t ReadRegister(uint16_t) override { return 0x10; }
    std::string Name() const override { return "null port"; }
};

// Installs a backend, straight behind the port functions as in the program (no test guard), and
// the engine at its start values.
class EngineSetup {
  public:
    explicit EngineSetup(tapster::PortBackend& backend) {
        tapster::ResetTapEngineState();
        tapster::SetPortGuard(nullptr);
        tapster::SetPortBackend(&backend);
    }
    ~EngineSetup() {
        tapster::SetPortBackend(nullptr);
        tapster::ResetTapEngineState();
    }
};

// Constant levels: the level byte is cached, two port writes per clock.
void BM_TapClockSteadyLevels(benchmark::State& state) {
    NullPort port;
    EngineSetup setup(port);
    for (auto _ : state)
        tapster::TapClock(false, false, false);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TapClockSteadyLevels);

// TDI changing every clock: three port writes per clock.
void BM_TapClockChangingTdi(benchmark::State& state) {
    NullPort port;
    EngineSetup setup(port);
    bool tdi = false;
    for (auto _ : state) {
        tapster::TapClock(false, tdi, false);
        tdi = !tdi;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TapClockChangingTdi);

// Sampled clocks with changing TDI: one read and three writes, the link protocol's usual clock.
void BM_TapClockSampled(benchmark::State& state) {
    NullPort port;
    EngineSetup setup(port);
    bool tdi = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tapster::TapClock(false, tdi, true));
        tdi = !tdi;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TapClockSampled);

#ifdef TAPSTER_BENCH_BOARD
// Sampled clocks in the link scan of a silent board: what every drain and wait costs.
void BM_TapClockOnBoard(benchmark::State& state) {
    tapster::board::Board board;
    EngineSetup setup(board);
    tapster::SetControlLine(true);
    tapster::EnterLinkScan();
    for (auto _ : state)
        benchmark::DoNotOptimize(tapster::TapClock(false, false, true));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TapClockOnBoard);
#endif

} // namespace
