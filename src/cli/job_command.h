// tapcheck-cli's flash job: program, verify and dump as one command each, every value and file
// checked before the port is claimed. A PORT may come before the job's word, as --port takes it.
//   tapcheck-cli [PORT] program IMAGE [--at ADDR] [--base ADDR] [--erase auto|chip|none]
//   [--no-verify] tapcheck-cli verify IMAGE [--at ADDR] [--base ADDR] tapcheck-cli dump FILE --at
//   ADDR --length N [--base ADDR]
// with -q (no progress line), -v (the log on stdout), --log FILE (the log kept in FILE) and
// --agent FILE (this agent image whatever the chip).
#pragma once

#include "app/startup.h"
#include "cli/terminal_form.h"
#include "ops/flash_job.h"

#include <optional>
#include <string>
#include <vector>

namespace tapster::cli {

struct JobCommand {
    FlashJobRequest request;
    bool quiet = false;
    bool verbose = false;
    std::string logPath;
};

// True when the command line is a job (its first word is program, verify or dump).
bool IsJobCommand(const std::vector<std::string>& args);

// Takes the PORT written before a job's word ("ppdev:/dev/parport0 program a.bin") out of the
// arguments into options.port, as --port=PORT would set it. False with a message when --port or
// --simulate names the backend as well.
bool TakeJobPort(std::vector<std::string>& args, BackendOptions& options, std::string& error);

// Parses and checks the job's arguments (numbers, files, the flash window); `programFolder` is
// where tapcheck-cli lies, `startFolder` the start directory. False with a one-line message.
bool ParseJobCommand(const std::vector<std::string>& args, const std::string& programFolder,
                     const std::string& startFolder, JobCommand& job, std::string& error);

// A number of the job's options: hex with or without 0x, or with a K or M suffix (KiB, MiB; the
// digits before a suffix are decimal unless written with 0x). Empty for anything else, a value
// above 32 bits among it.
std::optional<uint32_t> ParseJobNumber(const std::string& text);

// Runs the job on the form (its stdout already chosen) and prints the verdict. The exit code.
int RunJob(TerminalForm& form, const JobCommand& job);

// The --help section of the job.
std::string JobHelp();

} // namespace tapster::cli
