#include "cli/interrupt_signals.h"

#include "cli/exit_codes.h"
#include "cli/terminal_form.h"

#include <csignal>
#include <cstdint>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <time.h>
#include <unistd.h>
#endif

namespace tapster::cli {

namespace {

// One signal can arrive twice in a row: `timeout` sends it to the program and then to the
// program's whole process group, and a shell script's kill may do the same. A repeat this soon
// after the first is that same request, not a user asking a second time.
constexpr int64_t kSameRequestMs = 500;

volatile std::sig_atomic_t firstSignal = 0;
volatile int64_t firstSignalMs = 0;

// A monotonic clock that is safe to read inside a signal handler.
int64_t NowMs() {
#ifdef _WIN32
    return static_cast<int64_t>(GetTickCount64());
#else
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
}

// Writes "tapcheck-cli: NAME; the run stops" to stderr with the calls a signal handler may make.
void Announce(const char* name) {
    const auto put = [](const char* text) {
        size_t length = 0;
        while (text[length] != '\0')
            ++length;
#ifdef _WIN32
        (void)_write(2, text, static_cast<unsigned>(length));
#else
        (void)::write(2, text, length);
#endif
    };
    put("tapcheck-cli: ");
    put(name);
    put("; the run stops\n");
}

extern "C" void OnInterrupt(int signal) {
#ifdef _WIN32
    // The handler is reset to the default before it runs; keep catching.
    std::signal(signal, OnInterrupt);
#endif
    const int64_t now = NowMs();
    if (firstSignal == 0) {
        firstSignal = signal;
        firstSignalMs = now;
        TerminalForm::interruptFlag = signal;
        // Said at once: on a slow board the next keep-alive point, where the run stops, may be
        // seconds away.
        Announce(StopSignalOf(signal).name);
        TerminalForm::signalAnnounced = 1;
        return;
    }
    if (now - firstSignalMs < kSameRequestMs) return;
#ifndef _WIN32
    // A closed pipe or a full file signals at every write: a repeat is no second request.
    if (signal == SIGPIPE || signal == SIGXFSZ) return;
#endif
    // Asked again: end at once, even inside a loop with no keep-alive point, with the status a
    // shell expects of a program ended by this signal.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void InstallInterruptHandlers() {
    int count = 0;
    const StopSignal* rows = StopSignals(count);
    for (int i = 0; i < count; ++i)
        std::signal(rows[i].number, OnInterrupt);
}

} // namespace tapster::cli
