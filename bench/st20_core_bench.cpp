// The ST20 core's speed on a realistic loop (ldl/adc/stl, a taken cj and a prefixed j back)
// with code and workspace in a direct RAM window: instructions per second of CPU time, target
// >= 100 M/s. For comparison the same loop with an idle observer attached and with every access
// through the bus. Run: tapster_bench --benchmark_filter=St20
#include "st20/core.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace tapster::st20;

constexpr uint32_t kRam = 0x80000000;
constexpr uint32_t kCode = 0x80001000;
constexpr uint32_t kWs = 0x80002000;

class RamBus : public CoreBus {
  public:
    explicit RamBus(bool direct) : ram(0x10000), direct_(direct) {}
    uint32_t Load(uint32_t address, uint32_t size, Access) override {
        uint32_t v = 0;
        for (uint32_t i = 0; i < size; ++i)
            v |= static_cast<uint32_t>(ram[(address - kRam + i) & 0xFFFF]) << (8 * i);
        return v;
    }
    void Store(uint32_t address, uint32_t size, uint32_t value, Access) override {
        for (uint32_t i = 0; i < size; ++i)
            ram[(address - kRam + i) & 0xFFFF] = static_cast<uint8_t>(value >> (8 * i));
    }
    DirectWindow Window(uint32_t address) override {
        if (!direct_ || address - kRam >= ram.size()) return {};
        return {kRam, static_cast<uint32_t>(ram.size()), ram.data(), true};
    }
    std::vector<uint8_t> ram;

  private:
    bool direct_;
};

// L: ldl 0; adc 1; stl 0; ldl 1; adc 3; stl 1; ldl 2; cj +1; (skipped); j L  - 9 instructions
constexpr uint8_t kLoop[] = {0x70, 0x81, 0xD0, 0x71, 0x83, 0xD1, 0x72, 0xA1, 0x40, 0x60, 0x05};

struct Idle : CoreObserver {};

void Loop(benchmark::State& state, bool direct, bool observed) {
    RamBus bus(direct);
    for (uint32_t i = 0; i < sizeof kLoop; ++i)
        bus.ram[kCode - kRam + i] = kLoop[i];
    Core core(bus);
    core.Reset(BootState{kCode, kWs, 1});
    Idle idle;
    if (observed) core.SetObserver(&idle, kObserveInstructions | kObserveData | kObserveJumps);
    constexpr uint64_t kBatch = 9'000'000;
    uint64_t executed = 0;
    for (auto _ : state) {
        bus.Store(kWs, 4, 0, Access::Data); // the counters start again: no overflow
        bus.Store(kWs + 4, 4, 0, Access::Data);
        const RunResult r = core.Run(Budget{kBatch, UINT64_MAX});
        executed += r.instructions;
        if (r.instructions != kBatch || r.reason != StopReason::Budget) {
            state.SkipWithError("the loop stopped early");
            break;
        }
    }
    if (bus.Load(kWs, 4, Access::Data) != kBatch / 9) state.SkipWithError("wrong loop count");
    state.counters["instructions_per_s"] =
        benchmark::Counter(static_cast<double>(executed), benchmark::Counter::kIsRate);
    if (!observed && direct) state.SetLabel("target >= 100 M instructions/s");
}

void St20CoreLoop(benchmark::State& state) {
    Loop(state, true, false);
}
BENCHMARK(St20CoreLoop)->Unit(benchmark::kMillisecond);

void St20CoreLoopObserved(benchmark::State& state) {
    Loop(state, true, true);
}
BENCHMARK(St20CoreLoopObserved)->Unit(benchmark::kMillisecond);

void St20CoreLoopThroughBus(benchmark::State& state) {
    Loop(state, false, false);
}
BENCHMARK(St20CoreLoopThroughBus)->Unit(benchmark::kMillisecond);

} // namespace
