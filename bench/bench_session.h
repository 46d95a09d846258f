// The command session of the benchmarks that drive the buttons: the tests' board session with a
// user who confirms every question and offers one file (form.everyFile), a clock that moves on
// only when the window processes events (so the 100 ms pauses cost nothing), a 2400 MHz PC, and
// a board whose flash chip sits clear of the internal ROM.
#pragma once

#include "board_session.h"

#include <climits>
#include <filesystem>
#include <string>
#include <utility>

namespace tapster::bench {

// The flash agent (src/agent) executing on the board's CPU, the chip finishing every operation
// at once (busy times 0), so a call costs the agent's own instructions and the host's polls.
inline board::BoardConfig FastAgentBoard() {
    board::BoardConfig config = test::FlashClearOfRom();
    config.flash.busyPercent = 0;
    return config;
}

// startTicks is the clock's first reading: the flash and memory benchmarks start at 0.
class Session : public test::BoardSession {
  public:
    explicit Session(const std::string& name, board::BoardConfig config = FastAgentBoard(),
                     uint32_t startTicks = 1000)
        : BoardSession(std::filesystem::temp_directory_path() / ("tapster_bench_" + name)) {
        form.confirmEverything = true;
        form.maxEvents = INT_MAX; // a benchmark repeats its command many times
        form.clock.ticks = startTicks;
        UseA2400MHzPc();
        StartBoard(std::move(config));
    }
};

} // namespace tapster::bench
