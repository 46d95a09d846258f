// File reading and all-or-nothing writing for the ST20 command-line tools.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tapster::st20 {

// The whole file, or nullopt with `error` set.
std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error);

struct OutputFile {
    std::string path;
    std::string contents;
};

// Writes every file to a temporary name beside it and renames them into place only when all were
// written, so a failure never leaves a half-written output. False with `error` set on failure.
bool WriteFilesAtomically(const std::vector<OutputFile>& files, std::string& error);

// A command-line number: decimal, 0x hex or 0b binary, 32 bits.
std::optional<uint32_t> ParseNumberArgument(const std::string& text);

} // namespace tapster::st20
