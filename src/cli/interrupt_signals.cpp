#include "cli/interrupt_signals.h"

#include "cli/terminal_form.h"

#include <csignal>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
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
        return;
    }
    if (now - firstSignalMs < kSameRequestMs) return;
    // Asked again: end at once, even inside a loop with no keep-alive point, with the status a
    // shell expects of a program ended by this signal.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void InstallInterruptHandlers() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

} // namespace tapster::cli
