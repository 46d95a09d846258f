// Text between the commands (narrow strings in the process's ANSI code page, as the C runtime
// opens files with them) and the window (UTF-16), and paths that the narrow file calls can open.
#pragma once

#include <string>
#include <string_view>

namespace tapster::win {

std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view text);

// A path the narrow file functions reach: the path itself when the ANSI code page holds every
// character, else the same file or folder by its short (8.3) name. A file that does not exist yet
// keeps its own name behind its folder's short name. Empty when no such path exists.
std::string NarrowPath(const std::wstring& path);

// Makes the current directory (the start directory) reachable by narrow paths, switching to its
// short name when its long one does not fit the ANSI code page. False when it cannot.
bool MakeStartDirectoryNarrow();

} // namespace tapster::win
