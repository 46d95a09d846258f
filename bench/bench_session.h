// A command session on the simulated board for the benchmarks of this folder that drive the
// buttons: a clock that moves on only when the window processes events (so the 100 ms pauses cost
// nothing), a window that confirms every question and offers one file, and a board whose flash
// chip sits at 0x60000000 (clear of the internal ROM) with an agent that answers at its first poll.
#pragma once

#include "board/board.h"
#include "core/widget_store.h"
#include "flash_agent.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "port/platform.h"
#include "port/port_backend.h"
#include "port/port_permission.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tapster::bench {

class EventClock final : public platform::Clock {
  public:
    explicit EventClock(uint32_t start = 1000) : ticks(start) {}
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
    uint32_t ticks;
};

class BenchForm final : public WidgetStore {
  public:
    explicit BenchForm(EventClock& clock) : clock_(clock) {}
    void ErrorBox(const std::string& text) override { errors.push_back(text); }
    bool WarningQuestion(const std::string&) override { return true; }
    bool YesNoQuestion(const std::string&) override { return true; }
    bool ChooseFile(std::string& path) override {
        path = file;
        return !file.empty();
    }
    bool ShowControlDialog() override { return false; }
    void ProcessEvents() override {
        ++clock_.ticks;
        if (onEvent) onEvent();
    }
    void HandleOneEvent() override { ProcessEvents(); }

    std::vector<std::string> errors;
    std::string file;
    std::function<void()> onEvent;

  private:
    EventClock& clock_;
};

// The flash agent (src/agent) executing on the board's CPU, the chip finishing every operation
// at once (busy times 0), so a call costs the agent's own instructions and the host's polls.
inline board::BoardConfig FastAgentBoard() {
    board::BoardConfig config;
    config.flash.base = 0x60000000;
    config.flash.busyPercent = 0;
    return config;
}

// startTicks is the clock's first reading: the flash and memory benchmarks start at 0.
class Session {
  public:
    explicit Session(const std::string& name, board::BoardConfig config = FastAgentBoard(),
                     uint32_t startTicks = 1000)
        : clock(startTicks), form(clock), board(std::move(config)) {
        ResetCommandState();
        platform::SetClock(&clock);
        frmMain = &form;
        SetPortBackend(&board);
        dir = std::filesystem::temp_directory_path() / ("tapster_bench_" + name);
        std::filesystem::create_directories(dir);
        StartDirectory = dir.string();
        // A 2400 MHz PC: the slider from 0 to 2378, the check starting at delay 0.
        CpuSpeedMHz = 2400;
        form.SetRange("trkDelay", 0, 2378);
        form.SetTickInterval("trkDelay", 118);
        form.SetPosition("trkDelay", 0);
    }
    ~Session() {
        SetPortBackend(nullptr);
        frmMain = nullptr;
        platform::SetClock(nullptr);
        PermitAllPorts(false);
        ResetCommandState();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    std::string WriteFile(const std::string& name, size_t size) {
        const std::string path = (dir / name).string();
        std::ofstream out(path, std::ios::binary);
        for (size_t i = 0; i < size; ++i)
            out.put(static_cast<char>((i * 13 + (i >> 12)) & 0xFF));
        return path;
    }

    // Load Trap Routine, Install Traps and Take Trap with the flash agent's image.
    bool TakeAgent() {
        {
            std::ofstream out(dir / "fl4_trap.bin", std::ios::binary);
            const auto bytes = kFlashAgentBytes();
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
        cmdLoadTrapClick();
        cmdInstTrapClick();
        cmdLoadDCUClick();
        return form.errors.empty();
    }

    EventClock clock;
    BenchForm form;
    board::Board board;
    std::filesystem::path dir;
};

} // namespace tapster::bench
