// Host and link cost of the flash page and the DCU tools on the simulated board: a 2 MiB
// "Write from File" and "Read to File" with an agent that answers at its first poll (so only the
// host and the link are measured), the trap survey, and 100 DCU monitor ticks. Wall time, CPU
// time, TCK periods and bytes per second.
#include "board/board.h"
#include "core/widget_store.h"
#include "jtag/agent_calls.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "port/platform.h"
#include "port/port_backend.h"
#include "port/port_permission.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kImageBytes = 0x200000;

class TickClock final : public tapster::platform::Clock {
  public:
    uint32_t TickCount() override { return ticks; }
    bool PerformanceFrequency(int64_t& f) override {
        f = 1000000;
        return true;
    }
    bool PerformanceCounter(int64_t& c) override {
        c = int64_t{ticks} * 1000;
        return true;
    }
    uint32_t TimeStampLow() override { return ticks; }
    uint32_t ticks = 0;
};

// Confirms every question and offers one file; events only move the clock on.
class FlashBenchForm final : public tapster::WidgetStore {
  public:
    explicit FlashBenchForm(TickClock& clock) : clock_(clock) {}
    void ErrorBox(const std::string& text) override { errors.push_back(text); }
    bool WarningQuestion(const std::string&) override { return true; }
    bool YesNoQuestion(const std::string&) override { return true; }
    bool ChooseFile(std::string& path) override {
        path = file;
        return !file.empty();
    }
    bool ShowControlDialog() override { return false; }
    void ProcessEvents() override { clock_.ticks += 1; }
    void HandleOneEvent() override { clock_.ticks += 1; }
    std::vector<std::string> errors;
    std::string file;

  private:
    TickClock& clock_;
};

tapster::board::BoardConfig FastAgentBoard() {
    tapster::board::BoardConfig config;
    config.flash.base = 0x60000000; // clear of the internal ROM, so all 2 MiB are flash
    config.agent.identifyPolls = 0;
    config.agent.protectPolls = 0;
    config.agent.programPolls = 0;
    config.agent.eraseBlockPolls = 0;
    config.agent.eraseChipPolls = 0;
    return config;
}

// A board with the agent loaded, installed and taken, the flash page set to the whole chip.
class AgentSession {
  public:
    AgentSession() : form(clock), board(FastAgentBoard()) {
        tapster::ResetCommandState();
        tapster::platform::SetClock(&clock);
        tapster::frmMain = &form;
        tapster::SetPortBackend(&board);
        dir = std::filesystem::temp_directory_path() / "tapster_flash_bench";
        std::filesystem::create_directories(dir);
        tapster::StartDirectory = dir.string();
        WriteBytes("fl4_trap.bin", 484);
        image = WriteBytes("image.bin", kImageBytes);
        tapster::cmdLoadTrapClick();
        tapster::cmdInstTrapClick();
        tapster::cmdLoadDCUClick();
        form.SetText("lstFlashBase", "60000000");
        form.SetText("txtFromAddr", "60000000");
        form.SetText("txtFlashLen", "200000");
    }
    ~AgentSession() {
        tapster::SetPortBackend(nullptr);
        tapster::frmMain = nullptr;
        tapster::platform::SetClock(nullptr);
        tapster::PermitAllPorts(false);
        tapster::ResetCommandState();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string WriteBytes(const std::string& name, size_t size) {
        const std::string path = (dir / name).string();
        std::ofstream out(path, std::ios::binary);
        for (size_t i = 0; i < size; ++i)
            out.put(static_cast<char>((i * 13 + (i >> 12)) & 0xFF));
        return path;
    }

    bool Ready() const { return tapster::MailboxBase != 0 && form.errors.empty(); }

    TickClock clock;
    FlashBenchForm form;
    tapster::board::Board board;
    std::filesystem::path dir;
    std::string image;
};

void Report(benchmark::State& state, AgentSession& s, uint64_t clocks, uint64_t bytes) {
    state.counters["tck"] =
        benchmark::Counter(static_cast<double>(clocks), benchmark::Counter::kAvgIterations);
    if (bytes != 0) state.SetBytesProcessed(static_cast<int64_t>(bytes));
    if (!s.Ready())
        state.SkipWithError(s.form.errors.empty() ? "the agent was not taken"
                                                  : s.form.errors.front().c_str());
}

void BM_WriteFromFile2MiB(benchmark::State& state) {
    AgentSession s;
    s.form.file = s.image;
    uint64_t clocks = 0, bytes = 0;
    for (auto _ : state) {
        const uint64_t before = s.board.TckCount();
        tapster::cmdWriteFlashClick();
        clocks += s.board.TckCount() - before;
        bytes += kImageBytes;
        if (s.form.LogLines().empty() || s.form.LogLines()[s.form.LogLines().size() - 2] != "Done.")
            state.SkipWithError("the write did not complete");
    }
    Report(state, s, clocks, bytes);
}
BENCHMARK(BM_WriteFromFile2MiB)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ReadToFile2MiB(benchmark::State& state) {
    AgentSession s;
    s.form.file = (s.dir / "dump.bin").string();
    uint64_t clocks = 0, bytes = 0;
    for (auto _ : state) {
        const uint64_t before = s.board.TckCount();
        tapster::cmdReadToFileClick();
        clocks += s.board.TckCount() - before;
        bytes += kImageBytes;
    }
    if (std::filesystem::file_size(s.form.file) != kImageBytes)
        state.SkipWithError("the dump is not 2 MiB");
    Report(state, s, clocks, bytes);
}
BENCHMARK(BM_ReadToFile2MiB)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_TrapSurvey(benchmark::State& state) {
    AgentSession s;
    uint64_t clocks = 0;
    for (auto _ : state) {
        const uint64_t before = s.board.TckCount();
        tapster::cmdChkTrapsClick();
        clocks += s.board.TckCount() - before;
    }
    Report(state, s, clocks, 0);
}
BENCHMARK(BM_TrapSurvey)->Unit(benchmark::kMillisecond);

void BM_MonitorHundredTicks(benchmark::State& state) {
    AgentSession s;
    tapster::cmdStartDCUClick();
    uint64_t clocks = 0;
    for (auto _ : state) {
        const uint64_t before = s.board.TckCount();
        for (int i = 0; i < 100; ++i)
            tapster::Timer1Timer();
        clocks += s.board.TckCount() - before;
    }
    tapster::cmdStartDCUClick();
    Report(state, s, clocks, 0);
}
BENCHMARK(BM_MonitorHundredTicks)->Unit(benchmark::kMillisecond);

} // namespace
