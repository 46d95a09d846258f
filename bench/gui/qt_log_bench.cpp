// The Qt log (Memo4 of the main window) after a long day at the bench: the cost of one log append
// (a line, or a dot of the agent wait added to the last line) on a log that already holds 10 or
// 10,000 lines, a third of them full dot lines; alone, and with the window processing its events
// (repaint) after every append as the agent wait does. Each iteration is one agent wait: two
// lines and 100 dots. Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "ui/main_window.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>

#include <string>

namespace {

constexpr size_t kDotLineLimit = 100;

void AppendDot(tapster::MainForm& form) {
    const std::string line = form.LastLogLine() + ".";
    form.ReplaceLastLogLine(line);
    if (line.size() > kDotLineLimit) form.LogLine(".");
}

void Prefill(tapster::MainForm& form, int lines) {
    const std::string dots(kDotLineLimit, '.');
    for (int i = 0; i < lines; ++i)
        form.LogLine(i % 3 == 2 ? dots : "Writing flash addr " + std::to_string(0x60000000 + i));
    QCoreApplication::processEvents();
}

template <bool Repaint> void BM_LogAppendQt(benchmark::State& state) {
    tapster::ui::TfrmMain window;
    window.show();
    tapster::ui::QtMainForm& form = window.Form();
    Prefill(form, static_cast<int>(state.range(0)));
    int64_t appends = 0;
    auto append = [&](auto action) {
        action();
        ++appends;
        if (Repaint) QCoreApplication::processEvents();
    };
    for (auto _ : state) {
        append([&] { form.LogLine("Writing flash addr 60000000"); });
        append([&] { form.LogLine("Waiting for release ..."); });
        for (int i = 0; i < 100; ++i)
            append([&] { AppendDot(form); });
    }
    state.SetItemsProcessed(appends);
    state.counters["lines_at_end"] = form.LogLineCount();
}
BENCHMARK(BM_LogAppendQt<false>)->Name("BM_LogAppendQt")->Arg(10)->Arg(10000)->Iterations(50);
BENCHMARK(BM_LogAppendQt<true>)->Name("BM_LogAppendQtRepaint")->Arg(10)->Arg(10000)->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
