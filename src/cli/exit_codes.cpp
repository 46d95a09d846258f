#include "cli/exit_codes.h"

#include <csignal>
#include <iterator>

namespace tapster::cli {

namespace {

// SIGTERM first: the row for a signal the table does not know. Windows knows only SIGINT and
// SIGTERM of these.
// clang-format off
constexpr StopSignal kStopSignals[] = {
    {.number = SIGTERM, .code = kExitTerminate,    .name = "terminated (SIGTERM)"},
    {.number = SIGINT,  .code = kExitInterrupt,    .name = "interrupted (Ctrl+C)"},
#ifndef _WIN32
    {.number = SIGHUP,  .code = kExitHangup,       .name = "hung up (SIGHUP)"},
    {.number = SIGPIPE, .code = kExitBrokenPipe,   .name = "stdout's reader went away (SIGPIPE)"},
    {.number = SIGXFSZ, .code = kExitFileTooLarge, .name = "a file reached the size limit (SIGXFSZ)"},
#endif
};
// clang-format on

} // namespace

const StopSignal& StopSignalOf(int number) {
    for (const StopSignal& row : kStopSignals)
        if (row.number == number) return row;
    return kStopSignals[0];
}

const StopSignal* StopSignals(int& count) {
    count = static_cast<int>(std::size(kStopSignals));
    return kStopSignals;
}

} // namespace tapster::cli
