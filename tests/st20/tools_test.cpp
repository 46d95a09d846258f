// st20asm and st20dis as programs: outputs appear only after a whole successful assembly, the
// exit codes, and st20dis on the image st20asm wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>
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
    const std::string text = "00000100  61 41                    ldc -31\n"
                             "00000102  F5                       add\n"
                             "00000103  60 0B                    j 0x00000100\n";
    ASSERT_EQ(Run(ST20DIS, "prog.bin --base 0x100"), 0) << Read("err.txt");
    EXPECT_EQ(Read("out.txt"), text);
    ASSERT_EQ(Run(ST20DIS, "prog.bin --base 0x100 -o prog.txt"), 0) << Read("err.txt");
    EXPECT_EQ(Read("prog.txt"), text);
    EXPECT_EQ(Run(ST20DIS, "nothing.bin"), 1);
    EXPECT_EQ(Run(ST20DIS, "prog.bin --base"), 2);
}

// Hostile files and names: each refused with its message and exit code, every file intact, no
// temporary file left behind.
TEST_F(St20Tools, HostileFilesAreRefusedAndNothingIsOverwritten) {
    Write("ok.s", "ldc 1\n");
    Write("victim", "VICTIM");
    fs::create_symlink("victim", dir_ / "link.bin");
    fs::create_symlink("victim", dir_ / "out.bin.tmp"); // a planted temporary name
    fs::create_directory(dir_ / "folder");
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    Write("big.s", "");
    fs::resize_file(dir_ / "big.s", (64u << 20) + 1); // sparse
    const struct {
        const char* tool;
        const char* args;
        int code;
        const char* err;
    } rows[] = {
        {ST20ASM, "-o out.bin ok.s", 0, ""},
        {ST20ASM, "-o link.bin ok.s", 1, "a symbolic link"},
        {ST20ASM, "-o same.bin -l same.bin ok.s", 1, "named for two outputs"},
        {ST20ASM, "-o new.bin -l folder ok.s", 1, "a directory of that name exists"},
        {ST20ASM, "-o ok.s ok.s", 1, "it is the input"},
        {ST20ASM, "folder", 1, "a directory, not a file"},
        {ST20ASM, "fifo", 1, "not a regular file"},
        {ST20ASM, "/dev/zero", 1, "not a regular file"},
        {ST20ASM, "big.s", 1, "larger than"},
        {ST20DIS, "fifo", 1, "not a regular file"},
        {ST20DIS, "out.bin -o link.bin", 1, "a symbolic link"},
        {ST20DIS, "out.bin -o out.bin", 1, "it is the input"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        EXPECT_EQ(Run(row.tool, row.args), row.code) << Read("err.txt");
        EXPECT_NE(Read("err.txt").find(row.err), std::string::npos) << Read("err.txt");
    }
    const std::string full =
        "cd '" + dir_.string() + "' && '" ST20DIS "' out.bin >/dev/full 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(full.c_str())), 1) << "a text that could not be written";
    EXPECT_EQ(Read("victim"), "VICTIM");
    EXPECT_EQ(Read("ok.s"), "ldc 1\n");
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.bin"));
    EXPECT_EQ(Files(),
              (std::vector<std::string>{"big.s", "err.txt", "fifo", "folder", "link.bin", "ok.s",
                                        "out.bin", "out.bin.tmp", "out.txt", "victim"}));
}

// Long inputs stay linear, and a layout problem names its line.
TEST_F(St20Tools, ErrorsAndForwardChainsStayLinear) {
    std::string bad;
    for (int i = 0; i < 80000; ++i)
        bad += "  frob\n";
    Write("bad.s", bad);
    std::string chain;
    for (int i = 0; i < 5000; ++i) // worked out in one pass, one evaluation per link
        chain += ".equ n" + std::to_string(i) + ", n" + std::to_string(i + 1) + " + 1\n";
    Write("chain.s", chain + ".equ n5000, 1\nldc n0\n");
    Write("top.s", "ldc 1\nldc 2\n");
    Write("roomy.s", "ldc 1\n" + std::string(5u << 20, '\n')); // past the old 4 MiB cap
    EXPECT_EQ(Run(ST20ASM, "roomy.s"), 0) << Read("err.txt");
    EXPECT_EQ(Read("roomy.bin"), "\x41");
    EXPECT_EQ(Run(ST20ASM, "bad.s"), 1);
    EXPECT_NE(Read("err.txt").find("80000 error(s)"), std::string::npos);
    EXPECT_EQ(Run(ST20ASM, "chain.s"), 0) << Read("err.txt");
    EXPECT_EQ(Read("chain.bin"), "\x21\x23\x28\x49"); // ldc 5001
    EXPECT_EQ(Run(ST20ASM, "--base 0xFFFFFFFF top.s"), 1);
    EXPECT_NE(Read("err.txt").find("top.s:2: error: the image grows past the end of the address "
                                   "space"),
              std::string::npos)
        << Read("err.txt");
}

} // namespace
