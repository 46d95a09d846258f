// A built program run through the shell in a start directory of its own (holding the placeholder
// fl4_trap.bin), for the end-to-end tests: the directory, named after the running test and
// removed when the test passed, and what a run left in out.txt and err.txt.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace tapster::test {

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

struct ProgramResult {
    int code = -1;
    std::string out;
    std::string err;
};

class ProgramDirectoryTest : public ::testing::Test {
  protected:
    // `prefix` names the directory under the system's temporary one, the test's name follows.
    explicit ProgramDirectoryTest(std::string prefix) : prefix_(std::move(prefix)) {}

    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_'); // "Name/Param" as one directory
        dir = std::filesystem::temp_directory_path() / (prefix_ + name);
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(std::filesystem::path(TAPSTER_SIM_DIR) / "fl4_trap.bin",
                                   dir / "fl4_trap.bin");
    }
    void TearDown() override {
        if (!HasFailure()) std::filesystem::remove_all(dir);
    }

    // Runs `command` in the directory; its exit code and what it left in out.txt and err.txt.
    ProgramResult Shell(const std::string& command) const {
        const int status =
            std::system(("cd '" + dir.string() + "' && { " + command + "; }").c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(dir / "out.txt"),
                ReadText(dir / "err.txt")};
    }

    std::filesystem::path dir;

  private:
    std::string prefix_;
};

} // namespace tapster::test
