// Opening the files the commands read and write without surprises: a file to be read is opened
// without blocking (a FIFO or a device never hangs the command) and accepted only when it is a
// regular file; a file to be written replaces whatever had its name (a symbolic link itself,
// never what it points to) with a file created afresh.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tapster {

// The lengths the commands take from a file's size are 32-bit: a file this large or larger
// would wrap round to a small length.
constexpr uint64_t kLargestFileSize = (uint64_t{1} << 32) - 1;

// Opens `path` for reading in binary mode. Null with a short reason ("not a regular file", "no
// such file", ...) when it cannot be opened or is not a regular file; size is its length.
std::FILE* OpenRegularFile(const std::string& path, uint64_t& size, std::string& reason);

// Deletes `path` when it is a regular file or a symbolic link (the link itself, never its
// target), then creates it exclusively for writing in binary mode, never through a symbolic
// link. Null with a reason; a device, FIFO or directory in the way is refused, not deleted.
std::FILE* CreateFreshFile(const std::string& path, std::string& reason);

} // namespace tapster
