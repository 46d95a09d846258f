// Ctrl+C or SIGTERM in tapcheck-cli while a command runs (a block scan, a dump, a monitor wait):
// the program ends with the signal's exit code, the dump file holds whole blocks, nothing
// interrupted is reported done, and no sanitizer report appears. And the exit code of a script
// that is not interrupted: a command that failed only in the log, an abort= that never pressed
// "Abort !", a deadline, input files and presets refused before anything runs. The real
// executable on the simulated board, interrupted by `timeout -s INT|TERM`.
#include "program_run.h"

#include <chrono>
#include <sys/stat.h>
#include <tuple>

namespace fs = std::filesystem;

namespace {

using tapster::test::ReadText;
using Result = tapster::test::ProgramResult;

class CliInterrupt : public tapster::test::ProgramDirectoryTest {
  protected:
    CliInterrupt() : ProgramDirectoryTest("tapster-rel-cli-") {}

    // Runs tapcheck-cli and sends it `signal` after `seconds` (SIGKILL 60 s later if it hangs).
    Result Interrupt(const std::string& args, const std::string& seconds,
                     const std::string& signal = "INT") {
        return Shell("timeout --preserve-status -s " + signal + " -k 60 " + seconds +
                     " '" TAPCHECK_CLI "' " + args + " >out.txt 2>err.txt </dev/null");
    }
    static bool Has(const Result& r, const std::string& line) {
        return ("\n" + r.out).find("\n" + line + "\n") != std::string::npos;
    }
    static void ExpectNoSanitizerReport(const Result& r) {
        EXPECT_EQ(r.err.find("AddressSanitizer"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("LeakSanitizer"), std::string::npos) << r.err;
    }
};

constexpr int kExitInterrupt = 130;
// A long TCK high phase makes every clock cost real time (the link's timeouts grow with it), so a
// scan or a dump lasts many seconds on any machine and the interrupt lands inside it.
const std::string kSlowCable = "trkDelay=1000 ";

TEST_F(CliInterrupt, DuringTheFreeMemorySearchTheScanStops) {
    const auto start = std::chrono::steady_clock::now();
    Result r = Interrupt("--simulate " + kSlowCable + "cmdMemSeek print=txtRAM", "2");
    // The scan stops at its next batch of clocks, not seconds later (a bound for a busy machine),
    // and the notice comes before the command's own failure.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2 + 6));
    EXPECT_LT(r.err.find("interrupted (Ctrl+C); the run stops"), r.err.find("the command failed"))
        << r.err;
    EXPECT_EQ(r.code, kExitInterrupt) << r.err;
    EXPECT_TRUE(Has(r, "Searching RAM ...")) << r.out;
    EXPECT_TRUE(Has(r, "Read memory Error !!!")) << r.out;
    EXPECT_FALSE(Has(r, "Searching Video RAM ..."));
    EXPECT_FALSE(Has(r, "txtRAM=40000000")) << "the run went on after the interrupt";
    ExpectNoSanitizerReport(r);
}

// `timeout`, and many a script's kill, send the signal to the program and then to its whole
// process group: the repeat, this close behind, is the same request and must not kill the program
// before the scan has stopped and said so. A slow cable makes that stop take longer than the 10 ms
// between the two.
TEST_F(CliInterrupt, ASignalDeliveredTwiceInARowIsOneRequest) {
    const Result r = Shell(
        "'" TAPCHECK_CLI "' --simulate " + kSlowCable +
        "cmdMemSeek print=txtRAM >out.txt 2>err.txt "
        "</dev/null & pid=$!; n=0; "
        "until grep -q 'Searching RAM' out.txt || [ $n -ge 600 ]; do sleep 0.1; n=$((n+1)); done; "
        "kill -INT $pid; sleep 0.01; kill -INT $pid; wait $pid");
    EXPECT_EQ(r.code, kExitInterrupt) << r.err;
    EXPECT_TRUE(Has(r, "Read memory Error !!!")) << "killed by the repeat:\n" << r.out;
    EXPECT_NE(r.err.find("interrupted (Ctrl+C)"), std::string::npos) << r.err;
    ExpectNoSanitizerReport(r);
}

// SIGTERM is Ctrl+C's twin: "Abort !" answered No at the next keep-alive point, so the dump ends
// as an aborted one, says so in the log and keeps its whole blocks.
TEST_F(CliInterrupt, DuringReadToFileTheDumpHoldsWholeBlocks) {
    for (const auto& [signal, code, note] :
         {std::tuple{"INT", kExitInterrupt, "interrupted (Ctrl+C)"},
          std::tuple{"TERM", 143, "terminated (SIGTERM)"},
          std::tuple{"HUP", 129, "hung up (SIGHUP)"}}) {
        SCOPED_TRACE(signal);
        fs::remove(dir / "dump.bin");
        Result r = Interrupt("--simulate " + kSlowCable +
                                 "txtFromAddr=40000000 txtFlashLen=200000 file=dump.bin "
                                 "cmdReadToFile",
                             "2", signal);
        EXPECT_EQ(r.code, code) << r.err;
        EXPECT_TRUE(Has(r, "Error reading memory!!!")) << r.out;
        EXPECT_NE(r.err.find(note), std::string::npos) << r.err;
        ASSERT_TRUE(fs::exists(dir / "dump.bin"));
        const auto size = fs::file_size(dir / "dump.bin");
        EXPECT_EQ(size % 256, 0u) << size;
        EXPECT_LT(size, 0x200000u);
        EXPECT_TRUE(Has(r, "Reseting TAP ... Done."));
        ExpectNoSanitizerReport(r);
    }
}

// A wait between commands has no abort to press: the run stops, and stderr still names the signal.
TEST_F(CliInterrupt, DuringAMonitorWaitTheRunStops) {
    for (const auto& [signal, code, note] :
         {std::tuple{"INT", kExitInterrupt, "interrupted (Ctrl+C)"},
          std::tuple{"TERM", 143, "terminated (SIGTERM)"}}) {
        SCOPED_TRACE(signal);
        Result r = Interrupt("--simulate cmdStartDCU wait=86400000 print=txtRAM", "2", signal);
        EXPECT_EQ(r.code, code) << r.err;
        EXPECT_TRUE(Has(r, "Initializing JTAG ...")) << r.out;
        EXPECT_EQ(r.out.find("txtRAM="), std::string::npos) << "the run went on after the signal";
        EXPECT_NE(r.err.find(note), std::string::npos) << r.err;
        ExpectNoSanitizerReport(r);
    }
}

// What a script learns from the exit code when nothing interrupts it. Each row: the files it
// needs, the command line, the exit code, a line the log must hold (or "" for an empty log: the
// run was refused before any step) and a text stderr must hold ("" for an empty stderr).
TEST_F(CliInterrupt, ExitCodesTellWhatHappened) {
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream((dir / name).string(), std::ios::binary) << text;
    };
    write("image.bin", std::string(0x1800, '\x5A'));
    write("giveup.json", R"({"flash": {"busyPercent": 0, "faults": {"neverFinishes": true}}})");
    write("protected.json", R"({"flash": {"protectedSectors": ["10000"]}})");
    write("keeps.json", R"({"faults": {"keepsSending": true}})");
    write("custom.json", R"({"cpu": "custom", "idcode": "0ABC0041"})");
    write("notarget.json", R"({"faults": {"noTarget": true}})");
    write("halted.json",
          R"({"fills": [{"address": "7FFE0000", "length": "20000", "value": "FF"}]})");
    write("old.trace", "kept");
    write("trace.json", R"({"core": {"trace": "old.trace"}})");
    write("highbase.json", R"({"flash": {"base": "FFFFF000"}})");
    mkfifo((dir / "image.fifo").c_str(), 0600);
    mkfifo((dir / "preset.fifo").c_str(), 0600);
    std::ofstream((dir / "huge.bin").string()).close();
    std::error_code ec;
    fs::resize_file(dir / "huge.bin", (uintmax_t{1} << 32) + 0x1000, ec); // sparse
    ASSERT_FALSE(ec) << ec.message();
    const std::string agent = "--simulate cmdDelay cmdLoadTrap cmdInstTrap cmdTakeTrap ";

    const struct {
        const char* label;
        std::string args;
        int code;
        const char* logged;
        const char* err;
    } rows[] = {
        {"a flashing job that works",
         "--simulate flash-id erase-sector 7FE10000 write-flash --from 7FE10000 image.bin", 0,
         "Done.", "Found Am29LV160DB"},
        {"the chip never finishes", "--simulate=giveup.json erase-chip", 3,
         "Flash erasing NOT complete !!!", "erase-chip (cmdChipErase): the command failed"},
        {"programming a protected sector",
         "--simulate=protected.json write-flash --from 7FE10000 image.bin", 3,
         "Flash programming NOT complete !!!", "the command failed"},
        {"the link keeps sending during a RAM copy", "--simulate=keeps.json cmdLoadTrap", 3,
         "Writing is impossible !!!", "cmdLoadTrap: the command failed"},
        {"a verification finds a difference", "--simulate cmdVrfTrap", 3,
         "************ Test fails !!! ************ ", "cmdVrfTrap: the command failed"},
        {"a dump cut short by an abort",
         "--simulate abort=no@10 read-to-file --from 40000000 --length 10000 dump.bin", 3,
         "Error reading memory!!!", "the command failed"},
        {"abort= before an alias hits its flash command, not the check before it",
         "--simulate abort=no@4 write-flash --from 7FE00000 image.bin", 3,
         "Flash programming NOT complete !!!", "write-flash (cmdWriteFlash): the command failed"},
        {"abort= with no click after it", "--simulate flash-id abort=no@4", 4,
         "Flash Manufacturer CODE 0001", "abort=no@4: no click follows it"},
        {"abort= that the click never reaches", "--simulate abort=no@100000 cmdChkTraps", 4,
         "Reading DCU state ...", "the armed abort was not reached"},
        {"a deadline ends a wait for an agent that is not there",
         "--simulate --deadline 1 cmdInstTrap cmdGetDevCode cmdChkTraps", 124,
         "Failure reading IDCODE !!!", "the deadline has passed"},
        {"an image of 4 GiB and more", "--simulate write-flash --from 7FE00000 huge.bin", 2, "",
         "4 GiB or larger"},
        {"a FIFO as image, with --length",
         "--simulate write-flash --from 7FE00000 --length 1000 image.fifo", 2, "",
         "not a regular file"},
        {"a FIFO as image, step by step",
         agent + "txtFromAddr=7FE00000 txtFlashLen=100 file=image.fifo answer=ok cmdWriteFlash", 1,
         "Trap routine loaded successfully.", "not a regular file"},
        {"/dev/zero as preset", "--simulate=/dev/zero cmdDelay", 2, "", "not a regular file"},
        {"a FIFO as preset", "--simulate=preset.fifo cmdDelay", 2, "", "not a regular file"},
        {"a file that is no parallel port", "--port=ppdev:/dev/null cmdDelay", 1, "",
         "is not a parallel port device"},
        {"the same as the port before a job's word",
         "ppdev:/dev/null dump d.bin --at 7FE00000 --length 100", 3, "",
         "is not a parallel port device"},
        {"a hex field with a prefix", "--simulate read-word 0x40000000", 2, "",
         "bad value for txtManAddr: '0x40000000'"},
        {"a hex field of nine digits", "--simulate erase-sector 107FE10000", 2, "",
         "bad value for txtBlkBase"},
        {"an up-down past its range", "--simulate trkPoll=50", 2, "", "trkPoll takes 100 to 1000"},
        {"a slider below its range", "--simulate trkDelay=-1", 2, "", "trkDelay takes 0 to "},
        {"an unknown CPU is no error", "--simulate=custom.json cmdDelay", 0, "CPU IDCODE: 0ABC0041",
         ""},
        {"a trap survey with no target", "--simulate=notarget.json cmdChkTraps", 3,
         "Reading trap configuration ...", "34 reads failed"},
        {"a Take Trap on a halted CPU",
         "--simulate=halted.json cmdLoadTrap cmdInstTrap cmdTakeTrap", 3,
         "Setting Trap on interrupt...", "no trap was taken"},
        {"a preset's trace where a file is", "--simulate=trace.json cmdDelay", 2, "",
         "it exists already"},
        {"a flash past the top of the address space", "--simulate=highbase.json flash-id", 2, "",
         "runs past the top of the address space"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        Result r = Interrupt(row.args, "120");
        EXPECT_EQ(r.code, row.code) << r.err;
        if (*row.logged == '\0')
            EXPECT_EQ(r.out, "") << "a refused run ran steps";
        else
            EXPECT_TRUE(Has(r, row.logged)) << r.out;
        if (*row.err == '\0')
            EXPECT_EQ(r.err, "");
        else
            EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
        ExpectNoSanitizerReport(r);
    }
    // The abort= before the alias: the check and the agent start before the write ran whole.
    Result r = Interrupt("--simulate abort=no@4 write-flash --from 7FE00000 image.bin", "120");
    EXPECT_TRUE(Has(r, "CPU type: STi5510")) << r.out;
    EXPECT_TRUE(Has(r, "Trap routine loaded successfully.")) << r.out;
    // The deadline's run stopped after the step that ran at the deadline.
    r = Interrupt("--simulate --deadline 1 cmdInstTrap cmdGetDevCode cmdChkTraps", "120");
    EXPECT_FALSE(Has(r, "Reading DCU state ...")) << "the run went on after the deadline";
    // The image refused step by step was refused before the write touched the target.
    r = Interrupt(agent + "txtFromAddr=7FE00000 txtFlashLen=100 file=image.fifo answer=ok "
                          "cmdWriteFlash",
                  "120");
    EXPECT_EQ(r.out.find("Writing flash addr"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Now Flash will be rewrited"), std::string::npos);
    EXPECT_EQ(ReadText(dir / "old.trace"), "kept");
    // A log that cannot be written is a failed run; a dump past the file size limit ends the run
    // as a signal does and leaves no file.
    r = Shell("'" TAPCHECK_CLI "' --simulate cmdChkTraps >/dev/full 2>err.txt");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("stdout cannot be written"), std::string::npos) << r.err;
    r = Shell("ulimit -f 64; '" TAPCHECK_CLI "' --simulate read-rom >out.txt 2>err.txt");
    EXPECT_EQ(r.code, 153) << r.err;
    EXPECT_TRUE(Has(r, "Read memory Error !!!")) << r.out;
    EXPECT_FALSE(fs::exists(dir / "intRom.bin"));
}

} // namespace
