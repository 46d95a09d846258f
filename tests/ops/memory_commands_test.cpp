// The ROM dump, the manual word read and write, and the two verifications on the simulated board.
#include "board/memory_map.h"
#include "board_session.h"
#include "core/hex.h"
#include "jtag/agent_calls.h"
#include "jtag/jtag_init.h"
#include "ops/commands.h"
#include "ops/scan_dump.h"
#include "ops/services.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace tapster {
namespace {

namespace fs = std::filesystem;
using test::Fill;
using test::Patch;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

constexpr uint32_t kRam = 0x40000000;
constexpr uint32_t kTrap = 0x80000800;
const std::string kTestFails = "************ Test fails !!! ************ ";

Bytes Pattern(size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 8));
    return bytes;
}

Bytes RomBytes(size_t count) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = board::RomByte(static_cast<uint32_t>(i));
    return bytes;
}

class MemoryCommandsTest : public test::BoardTest {
  protected:
    Bytes ReadFile(const std::string& name) const { return test::ReadFileBytes(Path(name)); }

    // Counts the events that find the window in busy mode (panels disabled or "Abort !" shown).
    void WatchBusyMode() {
        form.onEvent = [this](int) {
            const bool busy = !form.Enabled("Panel1") || form.Visible("cmdCancel");
            (busy ? busyEvents : idleEvents)++;
        };
    }
    int busyEvents = 0;
    int idleEvents = 0;

    void ExpectIdle() {
        EXPECT_TRUE(form.Enabled("Panel1"));
        EXPECT_TRUE(form.Enabled("Panel3"));
        EXPECT_FALSE(form.Visible("cmdCancel"));
        EXPECT_FALSE(form.Visible("ProgressBar1"));
        EXPECT_FALSE(form.Visible("lblAdr"));
    }
};

// --- Read Int. ROM ---------------------------------------------------------------------------

TEST_F(MemoryCommandsTest, RomDumpReplacesTheFileWithTheWholeRom) {
    StartBoard();
    WriteBytes("intRom.bin", Bytes(200000, 0xAB));
    WatchBusyMode();
    cmdReadRomClick();
    EXPECT_GT(busyEvents, 512);
    EXPECT_EQ(idleEvents, 0); // busy from before the JTAG start to the end
    EXPECT_EQ(LogAfter("Done"),
              (Lines{"Reseting TAP ... Done.", "----------------------------------------------",
                     "Reading internal ROM ...", "Done. See file intRom.bin at current directory.",
                     "Reseting TAP ... Done."}));
    const Bytes dumped = ReadFile("intRom.bin");
    ASSERT_EQ(dumped.size(), 131072u);
    EXPECT_EQ(dumped, RomBytes(131072));
    EXPECT_TRUE(ScanDumpMode);
    EXPECT_EQ(form.Maximum("ProgressBar1"), 0x20000);
    EXPECT_TRUE(form.errorBoxes.empty());
    ExpectIdle();
}

TEST_F(MemoryCommandsTest, RomDumpAbortKeepsTheBlocksAlreadyRead) {
    StartBoard();
    int blocks = 0;
    form.onEvent = [&](int) {
        if (form.Visible("ProgressBar1") && ++blocks == 10) {
            form.yesNoAnswers.push_back(false);
            cmdCancelClick();
        }
    };
    cmdReadRomClick();
    EXPECT_EQ(form.LogLines().end()[-2], "Read memory Error !!!");
    EXPECT_FALSE(form.Logged("Done. See file intRom.bin at current directory."));
    // The block whose event carried the click is still read; the scan stops before the next.
    EXPECT_EQ(ReadFile("intRom.bin"), RomBytes(10 * 256));
    ExpectIdle();
}

TEST_F(MemoryCommandsTest, RomDumpThatCannotCreateItsFileStopsBeforeTheTarget) {
    StartBoard();
    StartDirectory = (dir / "missing").string();
    cmdReadRomClick();
    ASSERT_EQ(form.errorBoxes.size(), 1u);
    EXPECT_NE(form.errorBoxes[0].find((dir / "missing" / "intRom.bin").string()),
              std::string::npos);
    EXPECT_EQ(board->TckCount(), 0u);
    EXPECT_FALSE(form.Logged("Reading internal ROM ..."));
    ExpectIdle();
}

#ifndef _WIN32
TEST_F(MemoryCommandsTest, RomDumpThatCannotWriteItsFileFails) {
    StartBoard();
    // A file-size limit of 64 KiB: the dump's writes fail half-way (as on a full disk).
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 0x10000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    cmdReadRomClick();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_TRUE(form.Logged("Read memory Error !!!"));
    EXPECT_FALSE(form.Logged("Done. See file intRom.bin at current directory."));
    ASSERT_EQ(form.errorBoxes.size(), 1u);
    EXPECT_NE(form.errorBoxes[0].find("intRom.bin"), std::string::npos);
    EXPECT_LE(ReadFile("intRom.bin").size(), 0x10000u);
    ExpectIdle();
}
#endif

// --- Manual Read / Write ---------------------------------------------------------------------

TEST_F(MemoryCommandsTest, ManualReadRefusesAZeroAddress) {
    StartBoard();
    for (const char* text : {"", "0000"}) {
        form.SetText("txtManAddr", text);
        cmdManReadClick();
    }
    EXPECT_EQ(form.errorBoxes, (Lines{"Wrong address value !!!", "Wrong address value !!!"}));
    EXPECT_EQ(board->TckCount(), 0u);
}

TEST_F(MemoryCommandsTest, ManualReadShowsTheWord) {
    board::BoardConfig config;
    config.patches = {Patch(kRam + 0x10, {0x78, 0x56, 0x34, 0x12})};
    StartBoard(config);
    form.SetText("txtManAddr", "40000010");
    WatchBusyMode();
    cmdManReadClick();
    EXPECT_EQ(form.Text("txtManData"), "12345678");
    // No busy mode: the JTAG start's waits find the window idle.
    EXPECT_GT(idleEvents, 0);
    EXPECT_EQ(busyEvents, 0);
    // A "0x" prefix parses to all ones: the word at FFFFFFFF, where the bus floats high.
    form.SetText("txtManAddr", "0x40000010");
    cmdManReadClick();
    EXPECT_EQ(form.Text("txtManData"), "FFFFFFFF");
    EXPECT_TRUE(form.errorBoxes.empty());
}

TEST_F(MemoryCommandsTest, ManualReadFailureShowsTheBox) {
    board::BoardConfig config;
    config.faults.noTarget = true;
    StartBoard(config);
    form.SetText("txtManAddr", "40000010");
    form.SetText("txtManData", "CAFE");
    cmdManReadClick();
    EXPECT_EQ(form.errorBoxes, (Lines{"Error reading data !!!\n\rCheck hardware and address !!!"}));
    EXPECT_EQ(form.Text("txtManData"), "CAFE");
    EXPECT_EQ(form.LogLines().back(), "Reseting TAP ... Done.");
}

TEST_F(MemoryCommandsTest, ManualWriteRefusesBadFields) {
    StartBoard();
    const std::pair<const char*, const char*> cases[] = {
        {"40000000", "12 "}, {"", "1"}, {"0", "1"}, {"x", "1"}, {"40000000", "-1"}};
    for (const auto& [address, data] : cases) {
        form.SetText("txtManAddr", address);
        form.SetText("txtManData", data);
        cmdManWriteClick();
    }
    EXPECT_EQ(form.errorBoxes, Lines(5, "Wrong address or data value !!!"));
    EXPECT_EQ(board->TckCount(), 0u);
    EXPECT_TRUE(form.LogLines().empty());
}

TEST_F(MemoryCommandsTest, ManualWriteWritesAndShowsTheWordReadBack) {
    board::BoardConfig config;
    config.fills = {Fill(kRam, 0x100, 0x55)};
    StartBoard(config);

    // An empty data field writes 0.
    form.SetText("txtManAddr", "40000020");
    form.SetText("txtManData", "");
    WatchBusyMode();
    cmdManWriteClick();
    EXPECT_GT(idleEvents, 0);
    EXPECT_EQ(busyEvents, 0); // no busy mode
    EXPECT_EQ(board->Bus().Read32(kRam + 0x20), 0u);
    EXPECT_EQ(form.Text("txtManData"), "00000000");

    // More than eight digits: the low 32 bits of both fields.
    form.SetText("txtManAddr", "140000024");
    form.SetText("txtManData", "1234567890");
    cmdManWriteClick();
    EXPECT_EQ(board->Bus().Read32(kRam + 0x24), 0x34567890u);
    EXPECT_EQ(form.Text("txtManData"), "34567890");
    EXPECT_EQ(board->Bus().Read32(kRam + 0x28), 0x55555555u);

    const Lines& log = form.LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Writing word ..."), 2);
    EXPECT_TRUE(form.Logged("Verifying word ...00000000"));
    EXPECT_TRUE(form.Logged("Verifying word ...34567890"));
    EXPECT_TRUE(form.errorBoxes.empty());
}

TEST_F(MemoryCommandsTest, ManualWriteShowsWhatTheTargetHoldsNotWhatWasTyped) {
    StartBoard();
    form.SetText("txtManAddr", "7FFE0000"); // the ROM keeps its word
    form.SetText("txtManData", "11223344");
    cmdManWriteClick();
    const uint32_t rom = board->Bus().Read32(0x7FFE0000);
    EXPECT_NE(rom, 0x11223344u);
    EXPECT_TRUE(form.Logged("Verifying word ..." + Hex8(rom)));
    EXPECT_EQ(form.Text("txtManData"), Hex8(rom));
}

TEST_F(MemoryCommandsTest, ManualWriteFailureShowsTheBox) {
    board::BoardConfig config;
    config.faults.neverAcknowledge = true;
    StartBoard(config);
    form.SetText("txtManAddr", "40000020");
    form.SetText("txtManData", "1");
    cmdManWriteClick();
    EXPECT_EQ(form.errorBoxes,
              (Lines{"Error writing data !!!\n\rCheck hardware and destination address !!!"}));
    EXPECT_TRUE(form.Logged("Writing word ..."));
    EXPECT_EQ(form.LogLines().back(), "Reseting TAP ... Done.");
    EXPECT_EQ(form.Text("txtManData"), "1");
}

// --- Verify RAM Load -------------------------------------------------------------------------

TEST_F(MemoryCommandsTest, VerifyRamRefusesBadAddressesAndUnreadableFiles) {
    StartBoard();
    for (const char* text : {"", "0", "x"}) {
        form.SetText("txtVrfRAM", text);
        cmdVrfRAMClick();
    }
    EXPECT_EQ(form.errorBoxes, Lines(3, "Wrong RAM Address value !!!"));

    form.errorBoxes.clear();
    form.SetText("txtVrfRAM", "40000000");
    form.files = {""}; // cancelled
    cmdVrfRAMClick();
    EXPECT_TRUE(form.errorBoxes.empty());

    const std::string missing = (dir / "nothing.bin").string();
    form.files = {missing};
    cmdVrfRAMClick();
    ASSERT_EQ(form.errorBoxes.size(), 1u);
    EXPECT_NE(form.errorBoxes[0].find(missing), std::string::npos);

    // A file that would run past the top of the address space.
    form.errorBoxes.clear();
    form.SetText("txtVrfRAM", "FFFFFF00");
    form.files = {WriteBytes("long.bin", Bytes(300, 1))};
    cmdVrfRAMClick();
    ASSERT_EQ(form.errorBoxes.size(), 1u);
    EXPECT_NE(form.errorBoxes[0].find("long.bin"), std::string::npos);

    EXPECT_EQ(board->TckCount(), 0u);
    ExpectIdle();
}

// Loads `size` bytes at `base` over a background of 0xA5 and checks that exactly the file's bytes
// changed: an empty file, two blocks, the trap routine's size, a partial last word (the target
// keeps its own bytes) and a file shorter than a word.
class VerifyRamSizes : public MemoryCommandsTest,
                       public ::testing::WithParamInterface<std::pair<uint32_t, size_t>> {};

TEST_P(VerifyRamSizes, ChangesExactlyTheFilesBytes) {
    const auto [base, size] = GetParam();
    board::BoardConfig config;
    config.fills = {Fill(kRam, 0x1000, 0xA5)};
    StartBoard(config);
    const Bytes file = Pattern(size, 0x31);
    form.SetText("txtVrfRAM", Hex8(base));
    form.files = {WriteBytes("load.bin", file)};
    WatchBusyMode();
    cmdVrfRAMClick();
    EXPECT_GT(busyEvents, 0);
    EXPECT_EQ(idleEvents, 0);
    EXPECT_EQ(
        LogAfter("Done"),
        (Lines{"Reseting TAP ... Done.", "Trying write into the RAM. Memory address " + Hex8(base),
               "---------------------- Data length " + Hex8(static_cast<uint32_t>(size)),
               "Comparing RAM with source file ...", "Memory downloaded and verified successfully.",
               "Reseting TAP ... Done."}));
    EXPECT_EQ(TargetBytes(base, size), file);
    // Nothing around the file's range changed.
    EXPECT_EQ(TargetBytes(kRam, base - kRam), Bytes(base - kRam, 0xA5));
    const uint32_t after = base + static_cast<uint32_t>(size);
    EXPECT_EQ(TargetBytes(after, kRam + 0x1000 - after), Bytes(kRam + 0x1000 - after, 0xA5));
    EXPECT_EQ(form.Maximum("ProgressBar1"), static_cast<int>(size));
    // The compare pass starts the bar again at 0 and steps by 252, past the maximum at the
    // end when the size is not a multiple of it.
    EXPECT_EQ(form.Position("ProgressBar1"), static_cast<int>((size + 251) / 252 * 252));
    EXPECT_TRUE(form.errorBoxes.empty());
    ExpectIdle();
}
INSTANTIATE_TEST_SUITE_P(Files, VerifyRamSizes,
                         ::testing::Values(std::pair{kRam, size_t{0}}, std::pair{kRam, size_t{300}},
                                           std::pair{kRam + 0x100, size_t{484}},
                                           std::pair{kRam + 0x101, size_t{301}},
                                           std::pair{kRam + 0x200, size_t{3}}));

TEST_F(MemoryCommandsTest, VerifyRamReportsTheFirstDifference) {
    StartBoard();
    // The ROM ignores writes, so a file that differs from it in byte 260 shows up there.
    Bytes file = RomBytes(300);
    file[260] ^= 0xFF;
    form.SetText("txtVrfRAM", "7FFE0000");
    form.files = {WriteBytes("rom.bin", file)};
    cmdVrfRAMClick();
    EXPECT_EQ(
        LogAfter("Comparing RAM with source file ..."),
        (Lines{"Difference found at address 7FFE0104!!!", kTestFails, "Reseting TAP ... Done."}));
    ExpectIdle();
}

TEST_F(MemoryCommandsTest, VerifyRamWriteFailureEndsTheTest) {
    board::BoardConfig config;
    config.faults.neverAcknowledge = true;
    StartBoard(config);
    form.SetText("txtVrfRAM", "40000000");
    form.files = {WriteBytes("load.bin", Pattern(300, 1))};
    cmdVrfRAMClick();
    EXPECT_EQ(LogAfter("---------------------- Data length 0000012C"),
              (Lines{"No ACK while poke !!!", "Error writing memory at address 40000000!!!",
                     kTestFails, "Reseting TAP ... Done."}));
    ExpectIdle();
}

// --- Verify Trap Handler ---------------------------------------------------------------------

TEST_F(MemoryCommandsTest, VerifyTrapMatchesTheLoadedImage) {
    const Bytes image = Pattern(484, 0x77);
    board::BoardConfig config;
    config.patches = {Patch(kTrap, image)};
    StartBoard(config);
    WriteBytes("fl4_trap.bin", image);
    const Bytes before = TargetBytes(kTrap - 0x100, 0x400);
    WatchBusyMode();
    cmdVrfTrapClick();
    EXPECT_GT(busyEvents, 0);
    EXPECT_EQ(idleEvents, 0);
    EXPECT_EQ(
        LogAfter("Done"),
        (Lines{"Reseting TAP ... Done.", "Checking trap handler routine. Memory address 80000800",
               "---------------------- Data length 000001E4",
               "Trap handler routine verified successfully.", "Reseting TAP ... Done."}));
    EXPECT_EQ(TargetBytes(kTrap - 0x100, 0x400), before); // it only reads
    EXPECT_EQ(form.Maximum("ProgressBar1"), 484);
    EXPECT_EQ(form.Position("ProgressBar1"), 504); // two blocks of 252
    ExpectIdle();
}

// What the verification ends with, after the data length line: the first byte that differs, or
// success for an empty image and for one the target holds followed by other bytes.
TEST_F(MemoryCommandsTest, VerifyTrapComparesTheImageOnly) {
    const Lines verified = {"Trap handler routine verified successfully.",
                            "Reseting TAP ... Done."};
    const struct {
        const char* name;
        size_t size;
        int flipped; // the byte of the file that differs from the target's; -1: none
        bool filledBehind;
        Lines log;
    } cases[] = {
        {"first difference",
         484,
         300,
         false,
         {"Difference found at address 8000092C!!!", kTestFails, "Reseting TAP ... Done."}},
        {"other bytes behind the image", 300, -1, true, verified},
        {"empty image", 0, -1, false, verified},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = Pattern(c.size, 0x77);
        board::BoardConfig config;
        if (c.filledBehind) config.fills = {Fill(kTrap, 0x400, 0x5A)};
        config.patches = {Patch(kTrap, image)};
        StartBoard(config);
        if (c.flipped >= 0) image[static_cast<size_t>(c.flipped)] ^= 0x01;
        WriteBytes("fl4_trap.bin", image);
        cmdVrfTrapClick();
        EXPECT_EQ(
            LogAfter("---------------------- Data length " + Hex8(static_cast<uint32_t>(c.size))),
            c.log);
    }
}

TEST_F(MemoryCommandsTest, VerifyTrapWithoutTheImageStopsBeforeTheTarget) {
    StartBoard();
    cmdVrfTrapClick();
    ASSERT_EQ(form.errorBoxes.size(), 1u);
    EXPECT_NE(form.errorBoxes[0].find((dir / "fl4_trap.bin").string()), std::string::npos);
    EXPECT_EQ(board->TckCount(), 0u);
    ExpectIdle();
}

TEST_F(MemoryCommandsTest, CompareBlockGivesTheFirstDifferingIndex) {
    Bytes block = Pattern(252, 0x42);
    board::BoardConfig config;
    config.patches = {Patch(kRam, block)};
    StartBoard(config);
    ASSERT_TRUE(ClaimPortForCommand());
    InitJtag();
    EXPECT_EQ(CompareBlock(kRam, block.data()), -1);
    block[251] ^= 0x80;
    EXPECT_EQ(CompareBlock(kRam, block.data()), 251);
    block[7] ^= 0x80;
    EXPECT_EQ(CompareBlock(kRam, block.data()), 7);
}

} // namespace
} // namespace tapster
