// Ctrl+C in tapcheck-cli while a command runs (a block scan, a dump, a monitor wait): the program
// ends with the interrupt's exit code, the dump file holds whole blocks, nothing interrupted is
// reported done, and no sanitizer report appears. The real executable on the simulated board,
// interrupted by `timeout -s INT`.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class CliInterrupt : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / (std::string("tapster-rel-cli-") + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(fs::path(TAPSTER_SIM_DIR) / "fl4_trap.bin", dir / "fl4_trap.bin");
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir);
    }

    // Runs tapcheck-cli and sends it SIGINT after `seconds` (SIGKILL 60 s later if it hangs).
    Result Interrupt(const std::string& args, const std::string& seconds) {
        const std::string command =
            "cd '" + dir.string() + "' && timeout --preserve-status -s INT -k 60 " + seconds +
            " '" TAPCHECK_CLI "' " + args + " >out.txt 2>err.txt </dev/null";
        const int status = std::system(command.c_str());
        Result r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadText(dir / "out.txt");
        r.err = ReadText(dir / "err.txt");
        return r;
    }
    static bool Has(const Result& r, const std::string& line) {
        return ("\n" + r.out).find("\n" + line + "\n") != std::string::npos;
    }
    static void ExpectNoSanitizerReport(const Result& r) {
        EXPECT_EQ(r.err.find("AddressSanitizer"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("LeakSanitizer"), std::string::npos) << r.err;
    }

    fs::path dir;
};

constexpr int kExitInterrupt = 130;
// A long TCK high phase makes every clock cost real time (the link's timeouts grow with it), so a
// scan or a dump lasts many seconds on any machine and the interrupt lands inside it.
const std::string kSlowCable = "trkDelay=1000 ";

TEST_F(CliInterrupt, DuringTheFreeMemorySearchTheScanStops) {
    Result r = Interrupt("--simulate " + kSlowCable + "cmdMemSeek print=txtRAM", "2");
    EXPECT_EQ(r.code, kExitInterrupt) << r.err;
    EXPECT_TRUE(Has(r, "Searching RAM ...")) << r.out;
    EXPECT_TRUE(Has(r, "Read memory Error !!!")) << r.out;
    EXPECT_FALSE(Has(r, "Searching Video RAM ..."));
    EXPECT_FALSE(Has(r, "txtRAM=40000000")) << "the run went on after the interrupt";
    ExpectNoSanitizerReport(r);
}

TEST_F(CliInterrupt, DuringReadToFileTheDumpHoldsWholeBlocks) {
    Result r = Interrupt("--simulate " + kSlowCable +
                             "txtFromAddr=40000000 txtFlashLen=200000 file=dump.bin cmdReadToFile",
                         "2");
    EXPECT_EQ(r.code, kExitInterrupt) << r.err;
    EXPECT_TRUE(Has(r, "Error reading memory!!!")) << r.out;
    ASSERT_TRUE(fs::exists(dir / "dump.bin"));
    const auto size = fs::file_size(dir / "dump.bin");
    EXPECT_EQ(size % 256, 0u) << size;
    EXPECT_LT(size, 0x200000u);
    EXPECT_TRUE(Has(r, "Reseting TAP ... Done."));
    ExpectNoSanitizerReport(r);
}

TEST_F(CliInterrupt, DuringAMonitorWaitTheRunStops) {
    Result r = Interrupt("--simulate cmdStartDCU wait=86400000 print=txtRAM", "2");
    EXPECT_EQ(r.code, kExitInterrupt) << r.err;
    EXPECT_TRUE(Has(r, "Initializing JTAG ...")) << r.out;
    EXPECT_EQ(r.out.find("txtRAM="), std::string::npos) << "the run went on after the interrupt";
    ExpectNoSanitizerReport(r);
}

} // namespace
