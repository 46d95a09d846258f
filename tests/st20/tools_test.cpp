// st20asm and st20dis as programs: outputs appear only after a whole successful assembly, the
// exit codes, and st20dis on the image st20asm wrote.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class St20Tools : public ::testing::Test {
  protected:
    fs::path dir_;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("st20_tools_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::string Read(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Runs a tool in the test directory; the exit code, stdout and stderr in files.
    int Run(const std::string& program, const std::string& args) {
        const std::string command =
            "cd '" + dir_.string() + "' && '" + program + "' " + args + " >out.txt 2>err.txt";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::vector<std::string> Files() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(St20Tools, AssemblerWritesNothingOnAnErrorOrAnOversizeImage) {
    Write("bad.s", "ldc 1\n  frob\n");
    Write("bad.bin", "OLD");
    EXPECT_EQ(Run(ST20ASM, "-o bad.bin -l bad.lst bad.s"), 1);
    EXPECT_EQ(Read("bad.bin"), "OLD");
    EXPECT_NE(Read("err.txt").find("bad.s:2: error: unknown mnemonic 'frob'"), std::string::npos)
        << Read("err.txt");

    Write("big.s", "ldc 0x12345678\n.space 20\n");
    EXPECT_EQ(Run(ST20ASM, "--max-size 16 -l big.lst big.s"), 1);
    EXPECT_NE(Read("err.txt").find("the image is 28 bytes, more than the maximum of 16"),
              std::string::npos)
        << Read("err.txt");
    // No image, no listing, no temporary file left behind.
    EXPECT_EQ(Files(),
              (std::vector<std::string>{"bad.bin", "bad.s", "big.s", "err.txt", "out.txt"}));

    EXPECT_EQ(Run(ST20ASM, ""), 2);
    EXPECT_EQ(Run(ST20ASM, "--base 0xZZ big.s"), 2);
    EXPECT_EQ(Run(ST20ASM, "missing.s"), 1);
}

TEST_F(St20Tools, AssembledImageDisassemblesAtItsBase) {
    Write("prog.s", "top: ldc -31\n     add\n     j top\n");
    ASSERT_EQ(Run(ST20ASM, "--base 0x100 --max-size 5 -l prog.lst prog.s"), 0) << Read("err.txt");
    EXPECT_EQ(Read("prog.bin"), std::string("\x61\x41\xF5\x60\x0B", 5));
    EXPECT_EQ(Read("prog.lst").substr(0, 47), "00000100  61 41                    top: ldc -31");
    ASSERT_EQ(Run(ST20DIS, "prog.bin --base 0x100"), 0) << Read("err.txt");
    EXPECT_EQ(Read("out.txt"), "00000100  61 41                    ldc -31\n"
                               "00000102  F5                       add\n"
                               "00000103  60 0B                    j 0x00000100\n");
    EXPECT_EQ(Run(ST20DIS, "nothing.bin"), 1);
    EXPECT_EQ(Run(ST20DIS, "prog.bin --base"), 2);
}

} // namespace
