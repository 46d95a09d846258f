// Appending to the log after a long day at the bench: the cost of one log append (a line, or a
// dot of the agent wait added to the last line) on a log that already holds 10 or 10,000 lines,
// a third of them full dot lines. For the plain widget store (tests, the base of the terminal
// window) and the terminal window of tapcheck-cli, which also writes each append to stdout (here
// /dev/null). The Qt log has its own benchmark (tapster_gui_bench). Each iteration is one agent
// wait as a flash command logs it: two lines and 100 dots (one more line when the dots pass 100
// characters), so a run of 100 iterations adds about 300 lines to the starting size.
#include "bench_session.h"
#include "cli/terminal_form.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

constexpr size_t kDotLineLimit = 100;

// The agent wait's dot: appended to the last line; a line past 100 characters gets a new "." line.
void AppendDot(tapster::MainForm& form) {
    const std::string line = form.LastLogLine() + ".";
    form.ReplaceLastLogLine(line);
    if (line.size() > kDotLineLimit) form.LogLine(".");
}

void Prefill(tapster::MainForm& form, int lines) {
    const std::string dots(kDotLineLimit, '.');
    for (int i = 0; i < lines; ++i)
        form.LogLine(i % 3 == 2 ? dots : "Writing flash addr " + std::to_string(0x60000000 + i));
}

// One agent wait: returns the number of appends.
int OneWait(tapster::MainForm& form) {
    form.LogLine("Writing flash addr 60000000");
    form.LogLine("Waiting for release ...");
    for (int i = 0; i < 100; ++i)
        AppendDot(form);
    return 102;
}

void BM_LogAppendWidgetStore(benchmark::State& state) {
    tapster::test::TestForm form;
    Prefill(form, static_cast<int>(state.range(0)));
    int64_t appends = 0;
    for (auto _ : state)
        appends += OneWait(form);
    state.SetItemsProcessed(appends);
    state.counters["lines_at_end"] = static_cast<double>(form.LogLines().size());
}
BENCHMARK(BM_LogAppendWidgetStore)->Arg(10)->Arg(10000)->Iterations(100);

void BM_LogAppendTerminal(benchmark::State& state) {
    std::FILE* out = std::fopen("/dev/null", "w");
    {
        tapster::cli::TerminalForm form(out, out);
        Prefill(form, static_cast<int>(state.range(0)));
        int64_t appends = 0;
        for (auto _ : state)
            appends += OneWait(form);
        state.SetItemsProcessed(appends);
        state.counters["lines_at_end"] = static_cast<double>(form.LogLines().size());
    }
    std::fclose(out);
}
BENCHMARK(BM_LogAppendTerminal)->Arg(10)->Arg(10000)->Iterations(100);

} // namespace
