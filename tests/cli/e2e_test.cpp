// tapcheck-cli end to end: the real executable on the simulated board, each run in a fresh start
// directory holding the placeholder fl4_trap.bin, bounded by `timeout`.
#include "program_run.h"

#include <regex>
#include <vector>

namespace fs = std::filesystem;

namespace {

using tapster::test::ReadText;

struct Result : tapster::test::ProgramResult {
    std::vector<std::string> lines; // stdout split at line feeds
};

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file << bytes;
}

// A deterministic flash image with no run of equal bytes.
std::string Image(size_t size) {
    std::string bytes(size, '\0');
    uint32_t x = 12345;
    for (char& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 24);
    }
    return bytes;
}

class CliEndToEnd : public tapster::test::ProgramDirectoryTest {
  protected:
    CliEndToEnd() : ProgramDirectoryTest("tapster_cli_e2e/") {}

    // Runs tapcheck-cli with the given arguments (shell words) in the test's start directory.
    Result Run(const std::string& args, const std::string& timeout = "timeout 120") {
        Result r{Shell(timeout + " '" + program + "' " + args + " >out.txt 2>err.txt </dev/null"),
                 {}};
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);)
            r.lines.push_back(line);
        return r;
    }

    static bool Has(const Result& r, const std::string& line) {
        return std::find(r.lines.begin(), r.lines.end(), line) != r.lines.end();
    }
    static size_t Count(const Result& r, const std::string& line) {
        return static_cast<size_t>(std::count(r.lines.begin(), r.lines.end(), line));
    }
    // Index of the first line equal to `line` at or after `from`; lines.size() when none.
    static size_t Find(const Result& r, const std::string& line, size_t from = 0) {
        for (size_t i = from; i < r.lines.size(); ++i)
            if (r.lines[i] == line) return i;
        return r.lines.size();
    }
    static std::string Printed(const Result& r, const std::string& widget) {
        for (const std::string& line : r.lines)
            if (line.rfind(widget + "=", 0) == 0) return line.substr(widget.size() + 1);
        return "<not printed>";
    }

    std::string program = TAPCHECK_CLI;
};

// The working order on each cable the simulated board stands behind: in process, and on the
// FTDI cable's MPSSE model (tapcheck-cli-mpsse, which prints whatever the model refuses).
class CliWorkingOrder : public CliEndToEnd, public ::testing::WithParamInterface<const char*> {
  protected:
    void SetUp() override {
        CliEndToEnd::SetUp();
        if (std::string(GetParam()) != "--simulate") program = TAPCHECK_CLI_MPSSE;
    }
};

// The agent set up the usual way, as the prefix of the flash tests' command lines.
const std::string kStartAgent = "--simulate cmdDelay cmdLoadTrap cmdInstTrap cmdTakeTrap ";

TEST_P(CliWorkingOrder, UsualWorkingOrderFromCheckToBatch) {
    WriteFile(dir / "image.bin", Image(0x1800));
    Result r =
        Run(std::string(GetParam()) +
                " cmdDelay print=lblJtagClk cmdMemSeek print=lstTrapAddr "
                "cmdLoadTrap cmdInstTrap cmdVrfTrap cmdTakeTrap cmdGetDevCode "
                "print=lblFlashCode txtBlkBase=7FE00000 answer=ok cmdBlkErase "
                "txtFromAddr=7FE00000 txtFlashLen=1800 file=image.bin answer=ok cmdWriteFlash "
                "file=back.bin cmdReadToFile cmdRunBatch",
            "timeout 300");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "tapcheck-cli: Found Am29LV160DB (AMD/JEDEC, 2 MiB, bottom boot)\n");

    // Check: the cable passes at once, short then long test.
    size_t check = Find(r, "Checking JTAG hardware ...");
    ASSERT_LT(check, r.lines.size()) << r.out;
    EXPECT_EQ(r.lines[check - 1], "-------------------");
    EXPECT_EQ(Find(r, "Short test result - -1", check) < Find(r, "Long test result - -1", check),
              true);
    EXPECT_FALSE(Has(r, "Check Your hardware !!! "));

    // Find Free Mem: both windows searched, the areas found offered as trap addresses.
    EXPECT_TRUE(Has(r, "Trying to find 5kB free memory space..."));
    EXPECT_TRUE(Has(r, "RAM_START:40000000"));
    EXPECT_TRUE(Has(r, "VRAM_START:C0000000"));
    EXPECT_FALSE(Has(r, "Read memory Error !!!"));
    EXPECT_EQ(Printed(r, "lstTrapAddr").rfind("80000800,", 0), 0u) << Printed(r, "lstTrapAddr");

    // Load, install, verify, take.
    EXPECT_TRUE(Has(r, "Loading trap routine. Memory address 80000800"));
    EXPECT_TRUE(Has(r, "Trap routine loaded successfully."));
    EXPECT_TRUE(Has(r, "New Trap Iptr=80000800"));
    EXPECT_TRUE(Has(r, "New Trap Wptr=80000A00"));
    EXPECT_TRUE(Has(r, "Setting Trap on interrupt..."));

    // The flash answers, is erased and written; the read-back equals the image.
    EXPECT_EQ(Printed(r, "lblFlashCode").rfind("Flash IDCODE ", 0), 0u);
    EXPECT_FALSE(Has(r, "Failure reading IDCODE !!!"));
    EXPECT_FALSE(Has(r, "Error clearing sector !!!"));
    EXPECT_TRUE(Has(r, "Writing flash addr 7FE00000")) << r.out;
    EXPECT_TRUE(Has(r, "Writing flash addr 7FE01000")) << "the second chunk";
    EXPECT_GE(Count(r, "Done."), 2u) << "erase and write";
    EXPECT_EQ(ReadText(dir / "back.bin"), Image(0x1800));
    EXPECT_FALSE(Has(r, "Error reading memory!!!"));

    // The batch writes the four default values in order.
    size_t b0 = Find(r, "Set DCU Control C8000000");
    size_t b1 = Find(r, "Set DCU Control C0000000", b0);
    size_t b2 = Find(r, "Set DCU Control 40000000", b1);
    size_t b3 = Find(r, "Set DCU Control 20000000", b2);
    EXPECT_LT(b3, r.lines.size());

    // The agent's waits: dots appended in place to "Waiting for release ...".
    bool dotted = std::any_of(r.lines.begin(), r.lines.end(), [](const std::string& l) {
        return std::regex_match(l, std::regex(R"(Waiting for release \.\.\.\.+)"));
    });
    EXPECT_TRUE(dotted) << r.out;
    // The log ends the output with one line feed.
    EXPECT_EQ(r.out.back(), '\n');
    EXPECT_NE(r.out.substr(r.out.size() - 2), "\n\n");
}

INSTANTIATE_TEST_SUITE_P(Cable, CliWorkingOrder, ::testing::Values("--simulate", "--port=ftdi"),
                         [](const auto& info) {
                             return info.index == 0 ? std::string("InProcess") : "Ftdi";
                         });

// The FTDI cable pulled out in the middle of a 64 KiB write: the command ends within the time
// limit of one wait, the run with exit code 1 and the reason.
TEST_F(CliEndToEnd, UnpluggedFtdiCableEndsTheWriteBounded) {
    program = TAPCHECK_CLI_MPSSE;
    WriteFile(dir / "image.bin", Image(0x10000));
    Result r = Run("--port=ftdi cmdDelay cmdLoadTrap cmdInstTrap cmdTakeTrap txtFromAddr=7FE00000 "
                   "txtFlashLen=10000 file=image.bin answer=ok cmdWriteFlash print=txtRAM",
                   "TAPSTER_MPSSE_UNPLUG_AFTER=17000000 timeout 120");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(Has(r, "Writing flash addr 7FE04000")) << r.out;
    EXPECT_FALSE(Has(r, "Writing flash addr 7FE0F000")) << "pulled out before the last chunk";
    EXPECT_NE(r.err.find("tapcheck-cli: lost the FTDI cable"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("mpsse model refuses"), std::string::npos) << r.err;
}

// Without any FTDI chip the claim fails, and the detail says what was looked for and how a
// user gets access to a cable that is there.
TEST_F(CliEndToEnd, NoFtdiCableSaysWhatWasLookedFor) {
    std::error_code ec;
    for (fs::directory_iterator it("/sys/bus/usb/devices", ec), end; !ec && it != end;
         it.increment(ec))
        if (ReadText(it->path() / "idVendor").rfind("0403", 0) == 0)
            GTEST_SKIP() << "an FTDI device is plugged in";
    Result r = Run("--port=ftdi cmdDelay");
    EXPECT_EQ(r.code, 1);
    for (const char* part : {"error: The parallel port could not be opened",
                             "looked for 0403:6010 and 0403:6014 (interface A)", "plugdev"})
        EXPECT_NE(r.err.find(part), std::string::npos) << part << " in " << r.err;
    EXPECT_FALSE(Has(r, "Checking JTAG hardware ..."));
}

TEST_F(CliEndToEnd, StartUpMeasuresTheCpuSpeedFirst) {
    Result r = Run("--simulate print=lblSpeed print=lblJtagClk print=trkDelay print=lblDelay");
    ASSERT_EQ(r.code, 0) << r.err;
    int speed = std::atoi(Printed(r, "lblSpeed").c_str());
    EXPECT_GT(speed, 0) << r.out;
    EXPECT_EQ(std::atoi(Printed(r, "lblJtagClk").c_str()), speed / 22);
    EXPECT_EQ(Printed(r, "trkDelay"), "0");
    EXPECT_EQ(Printed(r, "lblDelay"), "0");
}

TEST_F(CliEndToEnd, SettingTheSliderRunsItsChangeHandler) {
    Result r = Run("--simulate trkDelay=100 print=lblDelay print=lblSpeed print=lblJtagClk");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Printed(r, "lblDelay"), "100");
    int speed = std::atoi(Printed(r, "lblSpeed").c_str());
    EXPECT_EQ(std::atoi(Printed(r, "lblJtagClk").c_str()), speed / 122);
}

TEST_F(CliEndToEnd, TheCheckFindsTheDelayAPresetBoardNeeds) {
    // The board is told the slider's delay as the check moves it: below 200 its TDO is late.
    WriteFile(dir / "slow.json", R"({"cpu": "STi5512", "faults": {"minWorkingDelay": 200}})");
    Result r = Run("--simulate=slow.json cmdDelay print=trkDelay");
    ASSERT_EQ(r.code, 0) << r.err;
    auto first = std::find_if(r.lines.begin(), r.lines.end(), [](const std::string& l) {
        return l.rfind("Short test result - ", 0) == 0;
    });
    ASSERT_NE(first, r.lines.end()) << r.out;
    EXPECT_EQ(*first, "Short test result - 0") << "the first delay is too short";
    EXPECT_TRUE(Has(r, "Long test result - -1"));
    EXPECT_GE(std::atoi(Printed(r, "trkDelay").c_str()), 200);
    EXPECT_TRUE(Has(r, "CPU type: STi5512")) << r.out;
}

TEST_F(CliEndToEnd, CompleteFlashingJobWithAliases) {
    WriteFile(dir / "image.bin", Image(0x2000));
    Result r = Run("--simulate flash-id erase-sector 7FE00000 "
                   "write-flash --from 7FE00000 image.bin "
                   "read-to-file --from 7FE00000 --length 2000 back.bin");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "tapcheck-cli: Found Am29LV160DB (AMD/JEDEC, 2 MiB, bottom boot)\n");
    EXPECT_TRUE(Has(r, "Trap routine loaded successfully."));
    EXPECT_EQ(ReadText(dir / "back.bin"), Image(0x2000));
    EXPECT_TRUE(Has(r, "Writing flash addr 7FE01000") ||
                r.out.find("7FE01000") != std::string::npos);
}

TEST_F(CliEndToEnd, WriteAbortedAtAWaitEndsThatChunk) {
    WriteFile(dir / "image.bin", Image(0x3000));
    // Keep-alive points of the write: InitJtag's three pauses, then the agent's polls.
    Result r = Run(kStartAgent + "txtFromAddr=7FE00000 txtFlashLen=3000 file=image.bin answer=ok "
                                 "abort=no@4 cmdWriteFlash print=cmdCancel");
    EXPECT_EQ(r.code, 3) << "the aborted command failed: " << r.err;
    size_t cancel = Find(r, "******** Canceled by user or timeout exceeded *********");
    ASSERT_LT(cancel, r.lines.size()) << r.out;
    EXPECT_EQ(r.lines[cancel + 1], "******** Operation terminated !!! *********");
    EXPECT_EQ(r.lines[cancel + 2], "Flash programming NOT complete !!!");
    EXPECT_EQ(r.lines[cancel + 3], "Error writing flash at address 7FE00000");
    EXPECT_FALSE(Has(r, "Done.") && Find(r, "Done.", cancel) < r.lines.size());
    EXPECT_EQ(r.out.find("Writing flash addr 7FE01000"), std::string::npos) << "no later chunk";
}

TEST_F(CliEndToEnd, AbortAnsweredYesAsksTheAgentToStop) {
    WriteFile(dir / "image.bin", Image(0x1000));
    // At the data sheet's times a 4 KiB program call lasts several polls.
    WriteFile(dir / "slow.json", R"({"flash": {"busyPercent": 100}})");
    Result r = Run("--simulate=slow.json" + kStartAgent.substr(10) +
                   "txtFromAddr=7FE00000 txtFlashLen=1000 file=image.bin answer=ok "
                   "abort=yes@4 cmdWriteFlash file=back.bin txtFlashLen=1000 "
                   "cmdReadToFile");
    EXPECT_EQ(r.code, 3) << "the aborted command failed: " << r.err;
    // The host keeps waiting while it sends the stop command; the board's agent honours it and
    // reports the call aborted, so the chunk is not programmed.
    size_t cancel = Find(r, "******** Canceled by user or timeout exceeded *********");
    ASSERT_LT(cancel, r.lines.size()) << r.out;
    EXPECT_EQ(r.lines[cancel + 2], "Flash programming NOT complete !!!");
    EXPECT_EQ(r.lines[cancel + 3], "Error writing flash at address 7FE00000");
    EXPECT_NE(ReadText(dir / "back.bin"), Image(0x1000));
}

TEST_F(CliEndToEnd, ScanAbortedAtABlockSkipsTheVideoRamPass) {
    // InitJtag's three pauses, then one keep-alive point per 256-byte block.
    Result r = Run("--simulate abort=no@10 cmdMemSeek print=lstTrapAddr print=Panel1");
    EXPECT_EQ(r.code, 3) << "the aborted command failed: " << r.err;
    EXPECT_TRUE(Has(r, "Read memory Error !!!")) << r.out;
    EXPECT_FALSE(Has(r, "Searching Video RAM ..."));
    EXPECT_EQ(Printed(r, "lstTrapAddr"), "80000800");
    EXPECT_EQ(Printed(r, "Panel1"), "1") << "busy mode left";
}

TEST_F(CliEndToEnd, DcuMonitorRunsOnTheTimerAndStops) {
    Result r = Run("--simulate cmdStartDCU print=cmdStartDCU trkPoll=200 wait=1000 "
                   "print=txtStatus print=txtControl print=Panel1 cmdStartDCU print=cmdStartDCU "
                   "print=Panel1");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Printed(r, "cmdStartDCU"), "Stop");
    EXPECT_TRUE(std::regex_match(Printed(r, "txtStatus"), std::regex("[0-9A-F]{8}")));
    EXPECT_EQ(Printed(r, "Panel1"), "0") << "busy mode while the monitor runs";
    EXPECT_EQ(r.lines.back(), "Panel1=1");
    EXPECT_EQ(r.lines[r.lines.size() - 2], "cmdStartDCU=Start");
    EXPECT_TRUE(Has(r, "Reseting TAP ... Done."));
}

TEST_F(CliEndToEnd, ControlDialogComposesBatchRecords) {
    Result r = Run("--simulate dialog=0003FFFF cmdAddRec lstBatch=0 dialog=cancel cmdEditRec "
                   "lstBatch=1 dialog=80000000 cmdEditRec lstBatch=-1 cmdEditRec print=lstBatch");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Printed(r, "lstBatch"), "C8000000,80000000,40000000,20000000,00020000");
}

// An error box, or a dialog or question with no answer queued, ends the run with exit code 1 and
// the text on stderr; the steps after it do not run. Install Traps alone sets the mailbox
// address, so the flash commands get as far as their questions; no agent answers there.
TEST_F(CliEndToEnd, AnErrorOrAnUnansweredBoxStopsTheRunWithOne) {
    const struct {
        const char* args;
        const char* err;
        const char* printed; // the widget the last step would print
        bool logs;           // the run may log before the box
    } cases[] = {
        {"--simulate txtFromAddr=7FE00000 txtFlashLen=200001 cmdWriteFlash print=txtRAM",
         "error: Wrong Data length value !!!\n", "txtRAM", false},
        {"--simulate cmdAddRec print=lstBatch",
         "error: no answer queued for: the DCU Control register dialog\n", "lstBatch", true},
        {"--simulate cmdInstTrap txtBlkBase=7FE00000 cmdBlkErase print=txtBlkBase",
         "error: no answer queued for: Now Block data will be erased !!! Continue ?\n",
         "txtBlkBase", true},
    };
    for (const auto& c : cases) {
        Result r = Run(c.args);
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(Printed(r, c.printed), "<not printed>") << c.args;
        if (!c.logs) {
            EXPECT_EQ(r.out, "") << c.args;
        }
    }
}

TEST_F(CliEndToEnd, CancelledQuestionChangesNothing) {
    Result r = Run("--simulate cmdInstTrap txtBlkBase=7FE00000 answer=cancel cmdBlkErase "
                   "print=Panel5");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.lines.back(), "Panel5=1");
    EXPECT_EQ(r.lines[r.lines.size() - 2], "Reseting TAP ... Done.") << "the install's last line";
}

TEST_F(CliEndToEnd, UsageErrorsExitWithTwoAndAOneLineMessage) {
    for (const char* args : {"--simulate cmdFoo",
                             "--simulate txtRAM",
                             "--simulate chk0=2",
                             "--simulate answer=maybe",
                             "--simulate",
                             "--simulate --port=direct cmdDelay",
                             "--port= cmdDelay",
                             "--port=bogus cmdDelay",
                             "--simulate=no-such-preset.json cmdDelay",
                             "--simulate write-flash image.bin",
                             "--simulate program",
                             "--simulate program ''",
                             "--simulate read-to-file --from 1 --length 4 ''",
                             "--simulate program nothing.bin",
                             "--simulate dump d.bin --at 60000000 --length 0x10K",
                             "--simulate dump d.bin --at C0000000 --length 64K --base 7FE00000",
                             "--simulate dump d.bin --at 7FFDFFFE --length 4 --base 7FE00000",
                             "--simulate dump d.bin --at 7FE00000 --length 4000_0",
                             "--simulate verify -x a.bin",
                             "--simulate ppdev:/dev/parport0 program a.bin"}) {
        Result r = Run(args);
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("tapcheck-cli: ", 0), 0u) << r.err;
        EXPECT_EQ(r.out, "") << args;
    }
}

TEST_F(CliEndToEnd, AButtonThatIsHiddenOrDisabledIsRefused) {
    Result r = Run("--simulate cmdLoadDCU");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("cmdLoadDCU"), std::string::npos);
    // While the monitor runs the window is busy: the batch cannot be run, nor fields changed.
    r = Run("--simulate cmdStartDCU cmdRunBatch");
    EXPECT_EQ(r.code, 2);
    r = Run("--simulate cmdStartDCU txtRAM=0");
    EXPECT_EQ(r.code, 2);
    r = Run("--simulate lstBatch=4");
    EXPECT_EQ(r.code, 2) << "four items: 0 to 3";
}

TEST_F(CliEndToEnd, HelpListsStepsWidgetsAndTheBackend) {
    Result r = Run("--simulate --help");
    ASSERT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("Backend used with these options: simulated board"), std::string::npos);
    for (const char* word : {"answer=ok|cancel|yes|no", "abort=yes|no@N", "wait=MS", "print=WIDGET",
                             "dialog=VALUE|cancel", "--port=remote:HOST:PORT", "cmdWriteFlash",
                             "lstBatch", "trkDelay", "selBrkCond", "write-flash --from A"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    r = Run("--port=remote:127.0.0.1:5555 --help");
    EXPECT_NE(r.out.find("Backend used with these options: remote"), std::string::npos) << r.out;
}

TEST_F(CliEndToEnd, WithoutOptionsTheRealPortIsUsedNeverTheBoard) {
    if (fs::exists("/dev/parport0")) GTEST_SKIP() << "a real parallel port is present";
    Result r = Run("cmdDelay");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("error: The parallel port could not be opened"), std::string::npos)
        << r.err;
    // The reason goes beside the error, never into the window's log.
    EXPECT_NE(r.err.find("tapcheck-cli: Cannot open /dev/parport0"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Cannot open"), std::string::npos) << r.out;
    EXPECT_FALSE(Has(r, "Checking JTAG hardware ..."));
}

TEST_F(CliEndToEnd, CtrlCAbortsAWaitThatNeverEndsAndStopsTheRun) {
    // Traps installed but no routine loaded: no agent runs, and the first wait would last until
    // the user aborts.
    WriteFile(dir / "image.bin", Image(0x100));
    Result r =
        Run("--simulate cmdInstTrap txtFromAddr=7FE00000 txtFlashLen=100 file=image.bin answer=ok "
            "cmdWriteFlash print=txtRAM",
            "timeout --preserve-status -s INT -k 60 2");
    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_TRUE(Has(r, "******** Canceled by user or timeout exceeded *********")) << r.err;
    EXPECT_TRUE(Has(r, "Flash programming NOT complete !!!"));
    EXPECT_EQ(Printed(r, "txtRAM"), "<not printed>");
}

} // namespace

// The flash job on every chip of the board: each row a preset, the job's arguments, and what it
// ends with.
struct JobRow {
    const char* chip;
    const char* flashExtra; // more fields of the preset's "flash" object
    const char* args;       // after --simulate=board.json
    int code;
    const char* err;      // a part of stderr
    size_t dumpBytes = 0; // a dump's file size, when the row dumps
};

class CliJob : public CliEndToEnd, public ::testing::WithParamInterface<JobRow> {};

TEST_P(CliJob, EndsAsTheChipAllows) {
    const JobRow& row = GetParam();
    for (const char* image : {"fl4_trap_intel.bin", "fl4_trap_sst.bin"})
        fs::copy_file(fs::path(TAPSTER_SIM_DIR) / image, dir / image);
    WriteFile(dir / "board.json", std::string("{\"flash\": {\"chip\": \"") + row.chip +
                                      "\", \"base\": \"60000000\", \"busyPercent\": 0" +
                                      row.flashExtra + "}}");
    WriteFile(dir / "image.bin", Image(0x9123));
    Result r = Run(std::string("--simulate=board.json ") + row.args);
    EXPECT_EQ(r.code, row.code) << r.err;
    EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
    if (row.code == 0 && row.dumpBytes == 0) {
        EXPECT_EQ(r.out.rfind("VERIFIED: 36.3 KiB at 60000100 in ", 0), 0u) << r.out;
    }
    if (row.dumpBytes != 0) {
        EXPECT_EQ(fs::file_size(dir / "d.bin"), row.dumpBytes);
    }
}

constexpr const char* kProgram = "program image.bin --base 60000000 --at 60000100 -q";
constexpr const char* kProgramSst =
    "program image.bin --base 60000000 --at 60000100 -q --agent fl4_trap_sst.bin";
INSTANTIATE_TEST_SUITE_P(
    Chips, CliJob,
    ::testing::Values(
        JobRow{"AM29LV160DB", "", kProgram, 0, "Found Am29LV160DB (AMD/JEDEC, 2 MiB, bottom boot)"},
        JobRow{"AM29LV160DT", "", kProgram, 0, "Found Am29LV160DT (AMD/JEDEC, 2 MiB, top boot)"},
        JobRow{"M29W160EB", "", kProgram, 0, "Found M29W160EB"},
        JobRow{"MX29LV160DB", "", kProgram, 0, "Found MX29LV160DB"},
        JobRow{"AM29LV800DB", "", kProgram, 0, "Found Am29LV800DB (AMD/JEDEC, 1 MiB"},
        JobRow{"AM29LV800BB", "", kProgram, 0, "Found Am29LV800DB"},
        JobRow{"28F160B3B", ", \"writeProtect\": false", kProgram, 0,
               "Found 28F160B3B (Intel/Sharp, 2 MiB, bottom boot)"},
        JobRow{"28F320J3", "", kProgram, 0, "Found 28F320J3 (Intel/Sharp, 4 MiB"},
        JobRow{"28F160C3B", "", kProgram, 0, "Found 28F160C3B (Intel/Sharp, 2 MiB, bottom boot)"},
        JobRow{"SST39VF1601", "", kProgram, 0, "Found SST39VF1601 (SST, 2 MiB, bottom boot)"},
        JobRow{"SST39VF3201", "", kProgram, 0, "Found SST39VF3201 (SST, 4 MiB, bottom boot)"},
        JobRow{"SST39VF1601", "", kProgramSst, 0, "Found SST39VF1601 (SST, 2 MiB"},
        JobRow{"SST39VF3201", "", kProgramSst, 0, "Found SST39VF3201 (SST, 4 MiB"},
        JobRow{"AM29LV160DB", ", \"protectedSectors\": [\"8000\"]", kProgram, 3,
               "the sector at 60008000 is locked or protected"},
        // A J3 with lock bits set is still programmed: the agent clears them.
        JobRow{"28F320J3", ", \"protectedSectors\": [\"0\", \"20000\"]", kProgram, 0,
               "Found 28F320J3"},
        // A chip erase that leaves a protected sector: "Done." in the log, the reason on
        // stderr and a failed command.
        JobRow{"AM29LV160DB", ", \"protectedSectors\": [\"8000\"]", "erase-chip --base 60000000", 3,
               "sectors skipped: protected or locked"},
        JobRow{"AM29LV160DB", "", "dump d.bin --base 60000000 --at 60000001 --length 0x105", 0, "",
               0x105}));
