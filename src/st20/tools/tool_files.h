// Files and command lines of the ST20 command-line tools: inputs only from regular files of a
// bounded size, outputs all-or-nothing through the safe writer, never one file both.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace tapster::st20 {

// The whole of a regular file of at most maxBytes, or nullopt with `error` set (a folder, FIFO
// or device is refused at once, never read nor waited on).
std::optional<std::string> ReadWholeFile(const std::string& path, uint64_t maxBytes,
                                         std::string& error);

struct OutputFile {
    std::string path;
    // Writes the file's contents as they are made; false when a write failed.
    std::function<bool(std::FILE* file)> write;
};

// Why these outputs may not be written: one names a link, folder or other non-file, two name the
// same file, or one names an input. Empty when they may.
std::string RefusedOutputs(const std::vector<OutputFile>& files,
                           const std::vector<std::string>& inputs);

// Writes every file to a fresh temporary name beside it (each through its `write`) and renames
// them into place only when all were written, so a failure never leaves a half-written output nor
// harms an old one. False with `error` set on failure.
bool WriteFilesAtomically(const std::vector<OutputFile>& files, std::string& error);

// A command-line number: decimal, 0x hex or 0b binary, 32 bits.
std::optional<uint32_t> ParseNumberArgument(const std::string& text);

// Parses the command line into `app`, adding -h/--help and --version. -1 when the tool goes on;
// otherwise its exit code: 0 after --help (`usage` and `help` printed) or --version (`version`,
// "TOOL VERSION", printed), 2 after a bad command line (the problem and `usage` on stderr).
int ParseToolCommandLine(CLI::App& app, int argc, char** argv, const std::string& version,
                         const std::string& usage, const std::string& help);

// Writes `text` to `file`; false when it cannot be written (a full disk, a closed pipe).
bool WriteText(std::FILE* file, std::string_view text);

} // namespace tapster::st20
