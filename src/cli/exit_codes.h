// The exit codes of tapcheck-cli, each written once: the runner, the terminal form, the signal
// handlers and main take them from here, and the help text lists them.
#pragma once

namespace tapster::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitErrorBox = 1,      // an error box was shown, a question found no answer, or stdout
                            // could not be written
    kExitUsage = 2,         // a malformed command line, or a step the window refuses
    kExitCommandFailed = 3, // a command reported its failure, or its result cannot be trusted
    kExitAbortMissed = 4,   // an abort= step that never pressed "Abort !"
    kExitDeadline = 124,    // --deadline passed
    kExitHangup = 129,      // SIGHUP (the terminal went away)
    kExitInterrupt = 130,   // Ctrl+C (SIGINT)
    kExitBrokenPipe = 141,  // SIGPIPE (the reader of stdout went away)
    kExitTerminate = 143,   // SIGTERM
    kExitFileTooLarge = 153 // SIGXFSZ (a file grew past the size limit, ulimit -f)
};

// The signals that end a run as "Abort !" answered No does, each with its exit code and name.
struct StopSignal {
    int number;
    ExitCode code;
    const char* name;
};

// The exit code and name of a signal of the table (SIGTERM's for any other).
const StopSignal& StopSignalOf(int number);
// Every row, for installing the handlers.
const StopSignal* StopSignals(int& count);

} // namespace tapster::cli
