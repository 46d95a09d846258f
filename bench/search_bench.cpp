// Host cost of the two longest memory commands on the simulated board: the full two-window
// "Find Free Mem" (2 x 8192 block reads of 256 bytes) and the internal ROM dump (512 blocks to
// intRom.bin). Wall time, CPU time and TCK periods per second of CPU time.
#include "board/board.h"
#include "core/widget_store.h"
#include "jtag/tap_engine.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "port/platform.h"
#include "port/port_backend.h"
#include "port/port_permission.h"

#include <benchmark/benchmark.h>
#include <filesystem>

namespace {

// The JTAG start's waits cost no time: a clock that moves on whenever events are processed.
class EventClock final : public tapster::platform::Clock {
  public:
    uint32_t TickCount() override { return ticks; }
    bool PerformanceFrequency(int64_t& f) override {
        f = 1000000;
        return true;
    }
    bool PerformanceCounter(int64_t& c) override {
        c = ticks * 1000;
        return true;
    }
    uint32_t TimeStampLow() override { return ticks; }
    uint32_t ticks = 0;
};

// A window that answers every question with No and processes events by advancing the clock.
class BenchForm final : public tapster::WidgetStore {
  public:
    explicit BenchForm(EventClock& clock) : clock_(clock) {}
    void ErrorBox(const std::string& text) override { errors.push_back(text); }
    bool WarningQuestion(const std::string&) override { return false; }
    bool YesNoQuestion(const std::string&) override { return false; }
    bool ChooseFile(std::string&) override { return false; }
    bool ShowControlDialog() override { return false; }
    void ProcessEvents() override { ++clock_.ticks; }
    void HandleOneEvent() override { ++clock_.ticks; }
    std::vector<std::string> errors;

  private:
    EventClock& clock_;
};

class Session {
  public:
    Session() : form(clock) {
        tapster::ResetCommandState();
        tapster::platform::SetClock(&clock);
        tapster::frmMain = &form;
        tapster::SetPortBackend(&board);
    }
    ~Session() {
        tapster::SetPortBackend(nullptr);
        tapster::frmMain = nullptr;
        tapster::platform::SetClock(nullptr);
        tapster::PermitAllPorts(false);
        tapster::ResetCommandState();
    }
    EventClock clock;
    BenchForm form;
    tapster::board::Board board; // the default layout: runs in both windows
};

void Report(benchmark::State& state, const Session& session, uint64_t clocks) {
    state.counters["tck"] = static_cast<double>(clocks);
    state.counters["tck_per_s"] =
        benchmark::Counter(static_cast<double>(clocks), benchmark::Counter::kIsRate);
    if (!session.form.errors.empty()) state.SkipWithError(session.form.errors.front().c_str());
}

void BM_FindFreeMemTwoWindows(benchmark::State& state) {
    Session session;
    uint64_t clocks = 0;
    for (auto _ : state) {
        const uint64_t before = session.board.TckCount();
        tapster::cmdMemSeekClick();
        clocks += session.board.TckCount() - before;
    }
    Report(state, session, clocks);
}
BENCHMARK(BM_FindFreeMemTwoWindows)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ReadInternalRom(benchmark::State& state) {
    Session session;
    const auto dir = std::filesystem::temp_directory_path() / "tapster_rom_bench";
    std::filesystem::create_directories(dir);
    tapster::StartDirectory = dir.string();
    uint64_t clocks = 0;
    for (auto _ : state) {
        const uint64_t before = session.board.TckCount();
        tapster::cmdReadRomClick();
        clocks += session.board.TckCount() - before;
    }
    Report(state, session, clocks);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReadInternalRom)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
