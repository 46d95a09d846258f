// Writing a whole file or nothing: what is in the way of the name, and what is left behind.
#include "core/safe_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tapster {
namespace {

namespace fs = std::filesystem;

std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ReplaceFileContents, WholeFileOrNothing) {
    const fs::path dir = fs::temp_directory_path() / "tapster-replace-file";
    const struct {
        const char* label;
        void (*make)(const fs::path& name, const fs::path& other); // what has the name before
        bool written;
    } cases[] = {
        {"no file", [](const fs::path&, const fs::path&) {}, true},
        {"an older file",
         [](const fs::path& name, const fs::path&) { std::ofstream(name) << "old"; }, true},
        {"a link: replaced, its target kept",
         [](const fs::path& name, const fs::path& other) { fs::create_symlink(other, name); },
         true},
        {"a directory", [](const fs::path& name, const fs::path&) { fs::create_directory(name); },
         false},
        {"a missing folder",
         [](const fs::path& name, const fs::path&) { fs::remove_all(name.parent_path()); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path name = dir / "tapster.log";
        const fs::path other = dir / "other.txt";
        std::ofstream(other) << "other";
        c.make(name, other);
        std::string reason;
        EXPECT_EQ(ReplaceFileContents(name.string(), "line 1\nline 2\n", reason), c.written);
        EXPECT_EQ(reason.empty(), c.written) << reason;
        if (c.written) {
            EXPECT_EQ(Content(name), "line 1\nline 2\n");
        }
        if (fs::exists(dir)) {
            EXPECT_EQ(Content(other), "other");
            EXPECT_FALSE(fs::exists(dir / "tapster.log.tmp0")) << "a partial file was left";
        }
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace tapster
