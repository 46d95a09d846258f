#include "win/win_text.h"

#include <windows.h>

#include <vector>

namespace tapster::win {

std::wstring Wide(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

namespace {

// The text in the ANSI code page, and whether every character had its own place there.
std::string ToAnsi(std::wstring_view text, bool& exact) {
    exact = true;
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    BOOL lossy = FALSE;
    // UTF-8 as the ANSI code page takes no default-character flag and loses nothing.
    const bool utf8 = GetACP() == CP_UTF8;
    WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text.data(), size, narrow.data(),
                        length, nullptr, utf8 ? nullptr : &lossy);
    exact = lossy == FALSE;
    return narrow;
}

std::wstring ShortName(const std::wstring& path) {
    const DWORD length = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (length == 0) return {};
    std::vector<wchar_t> buffer(length);
    if (GetShortPathNameW(path.c_str(), buffer.data(), length) == 0) return {};
    return buffer.data();
}

} // namespace

std::string Narrow(std::wstring_view text) {
    bool exact = true;
    return ToAnsi(text, exact);
}

std::string NarrowPath(const std::wstring& path) {
    bool exact = true;
    std::string narrow = ToAnsi(path, exact);
    if (exact) return narrow;
    std::wstring shortPath = ShortName(path);
    if (shortPath.empty()) {
        // A file still to be made: its folder by the short name, the file by its own.
        const size_t slash = path.find_last_of(L"\\/");
        if (slash == std::wstring::npos) return {};
        const std::wstring folder = ShortName(path.substr(0, slash));
        if (folder.empty()) return {};
        shortPath = folder + path.substr(slash);
    }
    narrow = ToAnsi(shortPath, exact);
    return exact ? narrow : std::string();
}

bool MakeStartDirectoryNarrow() {
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    if (length == 0) return false;
    std::vector<wchar_t> buffer(length);
    if (GetCurrentDirectoryW(length, buffer.data()) == 0) return false;
    const std::wstring current = buffer.data();
    // The start directory is read back through std::filesystem, whose narrow text is UTF-8: only
    // a plain ASCII path reads the same both ways.
    bool ascii = true;
    for (wchar_t c : current)
        ascii = ascii && c < 0x80;
    if (ascii || GetACP() == CP_UTF8) return true;
    const std::wstring shortPath = ShortName(current);
    for (wchar_t c : shortPath)
        if (c >= 0x80) return false;
    return !shortPath.empty() && SetCurrentDirectoryW(shortPath.c_str()) != 0;
}

} // namespace tapster::win
