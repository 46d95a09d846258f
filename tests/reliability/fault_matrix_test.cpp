// Every target command, with valid inputs, against every board fault and a healthy board. Each
// run is bounded: an agent wait that goes on is ended by pressing "Abort !" and answering No, and
// a command that needs more keep-alive points or clocks than a generous budget fails its cell.
// Every run must end idle (busy mode left, progress hidden), with the TAP reset as its last TAP
// action where the command resets it, and with what failed said in the log or a box; the
// command's reported outcome must agree with what it said (a failure said only in the log still
// makes the command a failed one, and a success is never reported as a failure).
// Every cell runs twice: on the board at hand and behind a cable that queues its samples as the
// remote_bitbang cable does (its buffer size), where the clocks run ahead of their samples; both
// must end the same way, with no sample left unread.
// The matrix is printed to stdout as a table.
#include "board_session.h"
#include "core/hex.h"
#include "ops/command_outcome.h"
#include "port/remote_bitbang_backend.h"
#include "queued_port.h"

#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>

namespace tapster::test {
namespace {

using Session = BoardSession;

struct Fault {
    const char* name;
    board::FaultConfig config;
    board::FlashFaults flash{}; // the flash chip's faults, from the board's start
};

board::FaultConfig Make(std::function<void(board::FaultConfig&)> set) {
    board::FaultConfig f;
    if (set) set(f);
    return f;
}

// "TDO stuck at 1" is what a missing target shows (the line floats high): the board's noTarget
// switch is exactly that, so the two share one column.
const std::vector<Fault>& Faults() {
    static const std::vector<Fault> faults = {
        {"healthy", Make(nullptr)},
        {"no target / TDO stuck 1", Make([](auto& f) { f.noTarget = true; })},
        {"TDO stuck 0", Make([](auto& f) { f.tdoStuckLow = true; })},
        {"TDO toggling", Make([](auto& f) { f.tdoToggling = true; })},
        {"never acknowledges", Make([](auto& f) { f.neverAcknowledge = true; })},
        {"keeps sending", Make([](auto& f) { f.keepsSending = true; })},
        {"flipped bits (1/97)", Make([](auto& f) { f.flipEveryBits = 97; })},
        // A healthy link, but no program or erase ever finishes: the agent ends those calls
        // itself at the chip's (or its own) time limit.
        {"flash never finishes", Make(nullptr),
         [] {
             board::FlashFaults f;
             f.neverFinishes = true;
             return f;
         }()},
    };
    return faults;
}

// How a command tells the user what failed.
enum class Says {
    Message, // a failure line or box of its own (failureTexts)
    Values,  // the command has no failure message: the values it shows are wrong (zeros, mostly)
};

struct CommandCase {
    const char* name;
    // Valid fields, queued answers; then the click (or clicks).
    std::function<void(Session&)> run;
    // A line (or box) that appears only when the command did its job.
    std::vector<std::string> successTexts;
    // Prefixes of lines or boxes that say what failed.
    std::vector<std::string> failureTexts;
    Says says = Says::Message;
    // For Says::Values: the line (prefix) whose value a healthy board gives as `healthyValue`.
    std::string probe;
    bool resetsTap = true;
    // For Says::Values: wrong values are a failure the outcome reports (the log cannot say it).
    bool valuesReported = false;
    // Whether what the command did is really in the target (checked when it reports success).
    std::function<bool(Session&)> landed;
};

void Click(void (*handler)()) {
    handler();
}

using Run = std::function<void(Session&)>;
using Texts = std::vector<std::string>;

// A command that says what failed with lines or boxes of its own.
CommandCase Msg(const char* name, Run run, Texts success, Texts failure, bool resetsTap = true) {
    CommandCase c;
    c.name = name;
    c.run = std::move(run);
    c.successTexts = std::move(success);
    c.failureTexts = std::move(failure);
    c.resetsTap = resetsTap;
    return c;
}

// A command that has no failure message: the line starting with `probe` shows the value.
CommandCase Landed(CommandCase c, std::function<bool(Session&)> landed) {
    c.landed = std::move(landed);
    return c;
}

CommandCase Vals(const char* name, Run run, Texts success, std::string probe,
                 bool valuesReported = false) {
    CommandCase c;
    c.valuesReported = valuesReported;
    c.name = name;
    c.run = std::move(run);
    c.successTexts = std::move(success);
    c.says = Says::Values;
    c.probe = std::move(probe);
    return c;
}

const std::vector<std::string> kAgentWaitFailures = {
    "******** Canceled by user or timeout exceeded *********"};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<CommandCase>& Commands() {
    static const std::vector<CommandCase> commands = {
        Msg(
            "cmdDelayClick", [](Session&) { Click(cmdDelayClick); }, {"CPU type: STi5510"},
            {"Check Your hardware !!! ", "Check JTAG hardware !!!", "CPU IDCODE: "}, false),
        Msg("cmdMemSeekClick", [](Session&) { Click(cmdMemSeekClick); },
            {"Searching Video RAM ..."},
            {"START not received from DCU!!! Check Your hardware !!!", "Read memory Error !!!"}),
        Vals(
            "cmdChkTrapsClick", [](Session&) { Click(cmdChkTrapsClick); },
            {"BRK_TRAP_HIGH+IPTR 80000800"}, "BRK_TRAP_HIGH+IPTR ", true),
        Landed(Msg("cmdLoadTrapClick",
                   [](Session& s) {
                       for (uint32_t i = 0; i < kImageSize; ++i)
                           s.board->Bus().Write8(kTrap + i, 0);
                       Click(cmdLoadTrapClick);
                   },
                   {"Trap routine loaded successfully."},
                   {"Error writing memory at address ", "No ACK", "Writing is impossible !!!"}),
               [](Session& s) {
                   // The image file's bytes, padded with zeros to the routine's size.
                   const auto image = ReadFileBytes(s.Path("fl4_trap.bin"));
                   for (uint32_t i = 0; i < kImageSize; ++i)
                       if (s.board->Bus().Read8(kTrap + i) != (i < image.size() ? image[i] : 0))
                           return false;
                   return true;
               }),
        Vals(
            "cmdInstTrapClick", [](Session&) { Click(cmdInstTrapClick); },
            {"New Trap Wptr=80000A00"}, "New Trap Wptr="),
        Vals(
            "cmdLoadDCUClick", [](Session&) { Click(cmdLoadDCUClick); }, {"DCU_CONTROL 20000000"},
            "DCU_CONTROL ", true),
        Msg("cmdReadRomClick", [](Session&) { Click(cmdReadRomClick); },
            {"Done. See file intRom.bin at current directory."},
            {"START not received from DCU!!! Check Your hardware !!!", "Read memory Error !!!"}),
        Msg("cmdManReadClick",
            [](Session& s) {
                s.form.SetText("txtManAddr", "80000800");
                s.form.SetText("txtManData", "");
                Click(cmdManReadClick);
            },
            {}, {"Error reading data !!!"}),
        Landed(Msg("cmdManWriteClick",
                   [](Session& s) {
                       s.form.SetText("txtManAddr", "80001000");
                       s.form.SetText("txtManData", "12345678");
                       s.board->Bus().Write32(0x80001000, 0);
                       Click(cmdManWriteClick);
                   },
                   {"Verifying word ...12345678"},
                   {"Error writing data !!!", "Verifying word ..."}),
               [](Session& s) { return s.board->Bus().Read32(0x80001000) == 0x12345678; }),
        Msg("cmdVrfRAMClick",
            [](Session& s) {
                s.form.SetText("txtVrfRAM", "40000000");
                s.form.files.push_back(s.WriteFile("ram.bin", 600));
                Click(cmdVrfRAMClick);
            },
            {"Memory downloaded and verified successfully."},
            {"Error writing memory at address ", "Difference found at address "}),
        Msg("cmdVrfTrapClick", [](Session&) { Click(cmdVrfTrapClick); },
            {"Trap handler routine verified successfully."}, {"Difference found at address "}),
        Msg(
            "cmdGetDevCodeClick", [](Session&) { Click(cmdGetDevCodeClick); },
            {"Flash Manufacturer CODE 0001"},
            With({"Failure reading IDCODE !!!"}, kAgentWaitFailures)),
        Msg(
            "cmdChipEraseClick",
            [](Session& s) {
                s.form.warningAnswers.push_back(true);
                Click(cmdChipEraseClick);
            },
            {"Done."},
            With({"Error clearing flash !!!", "Flash erasing NOT complete !!!",
                  "Error writing data !!! Check hardware and destination address !!!"},
                 kAgentWaitFailures)),
        Msg(
            "cmdBlkEraseClick",
            [](Session& s) {
                s.form.SetText("txtBlkBase", "7FE10000");
                s.form.warningAnswers.push_back(true);
                Click(cmdBlkEraseClick);
            },
            {"Done."}, With({"Error clearing sector !!!"}, kAgentWaitFailures)),
        Msg(
            "cmdProtectClick",
            [](Session& s) {
                s.form.SetText("txtBlkBase", "7FE10000");
                Click(cmdProtectClick);
            },
            {"Block 7FE10000 protection status = 0"},
            With({"Failure reading block protection status !!!"}, kAgentWaitFailures)),
        Landed(Msg(
                   "cmdWriteFlashClick",
                   [](Session& s) {
                       s.form.SetText("txtFromAddr", "7FE20000");
                       s.form.SetText("txtFlashLen", "1800");
                       s.form.files.push_back(s.WriteFile("image.bin", 0x1800));
                       s.form.warningAnswers.push_back(true);
                       Click(cmdWriteFlashClick);
                   },
                   {"Done."},
                   With({"Error writing flash at address ", "No ACK", "Writing is impossible !!!"},
                        kAgentWaitFailures)),
               [](Session& s) {
                   for (uint32_t i = 0; i < 0x1800; ++i)
                       if (s.board->Bus().Read8(0x7FE20000 + i) != Pattern(i, 0x11)) return false;
                   return true;
               }),
        Msg("cmdReadToFileClick",
            [](Session& s) {
                s.form.SetText("txtFromAddr", "7FE00000");
                s.form.SetText("txtFlashLen", "1000");
                s.form.files.push_back(s.Path("dump.bin"));
                Click(cmdReadToFileClick);
            },
            {},
            {"START not received from DCU!!! Check Your hardware !!!", "Error reading memory!!!"}),
        Vals(
            "cmdStartDCUClick (start, 2 ticks, stop)",
            [](Session& s) {
                Click(cmdStartDCUClick);
                Timer1Timer();
                Timer1Timer();
                s.form.LogLine("monitor: txtControl=" + s.form.Text("txtControl") + " txtStatus=" +
                               s.form.Text("txtStatus") + " txtJTIptr=" + s.form.Text("txtJTIptr"));
                Click(cmdStartDCUClick);
            },
            {"monitor: txtControl=20000000"}, "monitor: txtControl="),
        Vals(
            "cmdRunBatchClick", [](Session&) { Click(cmdRunBatchClick); }, {"DCU_CONTROL 40000000"},
            "DCU_CONTROL "),
    };
    return commands;
}

// Keep-alive points an agent wait may take before the script presses "Abort !" (the healthy
// agent's longest call, a chip erase, takes 20 polls of about ten points each).
constexpr int kWaitPointsBeforeAbort = 1000;
// Points and clocks no command may need on any board (a healthy Find Free Mem, the longest,
// takes about 16500 points and 70 million clocks).
constexpr int kEventBudget = 100000;
constexpr uint64_t kClockBudget = 600000000;

struct CellOutcome {
    std::string text; // what the matrix shows
    bool ok = true;
};

std::string Short(const std::string& text) {
    std::string t = text;
    for (char& c : t)
        if (c == '\n' || c == '\r') c = ' ';
    return t.size() > 44 ? t.substr(0, 41) + "..." : t;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

class FaultMatrix : public ::testing::TestWithParam<size_t> {
  protected:
    static void TearDownTestSuite() {
        if (rows().size() < 2) return;
        std::cout << "\nFault matrix (command x board fault):\n" << Table(rows()) << std::flush;
    }

    using Row = std::pair<std::string, std::vector<std::string>>;
    static std::vector<Row>& rows() {
        static std::vector<Row> r;
        return r;
    }

    static std::string Table(const std::vector<Row>& rs) {
        std::ostringstream out;
        out << "| command |";
        for (const Fault& f : Faults())
            out << ' ' << f.name << " |";
        out << "\n|---|";
        for (size_t i = 0; i < Faults().size(); ++i)
            out << "---|";
        out << '\n';
        for (const Row& r : rs) {
            out << "| " << r.first << " |";
            for (const std::string& c : r.second)
                out << ' ' << c << " |";
            out << '\n';
        }
        return out.str();
    }

    // sampleBuffer 1: the board at hand; more: behind a QueuedPort of that size.
    CellOutcome RunCell(const CommandCase& command, const Fault& fault, size_t column,
                        size_t sampleBuffer);
};

// The remote cable's buffer; elsewhere (Windows) the size it would have.
#ifdef TAPSTER_HAVE_REMOTE_BACKEND
constexpr size_t kRemoteSampleBuffer = RemoteBitbangBackend::kOutstanding;
#else
constexpr size_t kRemoteSampleBuffer = 1024;
#endif

CellOutcome FaultMatrix::RunCell(const CommandCase& command, const Fault& fault, size_t column,
                                 size_t sampleBuffer) {
    SCOPED_TRACE(std::string(command.name) + " on " + fault.name +
                 (sampleBuffer > 1 ? ", samples queued" : ", at hand"));
    std::unique_ptr<QueuedPort> queued; // outlives the session, which lets go of the backend
    Session s(TestDirectory("-" + std::to_string(column)));
    s.form.msPerEvent = 10;
    board::BoardConfig config;
    config.flash.faults = fault.flash;
    s.StartBoard(config);
    if (sampleBuffer > 1) {
        queued = std::make_unique<QueuedPort>(*s.board, sampleBuffer);
        SetPortBackend(queued.get());
    }
    if (!s.TakeAgent()) {
        ADD_FAILURE() << "the agent could not be taken on a healthy board";
        return {"SETUP FAILED", false};
    }
    s.board->SetFaults(fault.config);
    s.form.errorBoxes.clear();
    s.form.questions.clear();

    const size_t mark = s.Mark();
    const int eventsBefore = s.form.events;
    const uint64_t clocksBefore = s.board->TckCount();
    int waitPoints = 0;
    int aborts = 0;
    bool overBudget = false;
    s.form.onEvent = [&](int n) {
        const std::string last = s.form.LastLogLine();
        const bool inWait = StartsWith(last, "Waiting for release ...") ||
                            (!last.empty() && last.find_first_not_of('.') == std::string::npos);
        waitPoints = inWait ? waitPoints + 1 : 0;
        if (inWait && waitPoints >= kWaitPointsBeforeAbort && s.form.Visible("cmdCancel")) {
            waitPoints = 0;
            ++aborts;
            s.form.yesNoAnswers.push_back(false);
            cmdCancelClick();
        }
        const int used = n - eventsBefore;
        if (used > kEventBudget) {
            overBudget = true;
            AbortFlag = true; // end whatever loop reads it
            if (used > 4 * kEventBudget) {
                std::cerr << command.name << " on " << fault.name << " never ends\n";
                std::abort(); // a hang must not pass as a slow test
            }
        }
    };
    ClearCommandOutcome();
    command.run(s);
    s.form.onEvent = nullptr;
    const bool reportedFailure = CommandFailed() || !s.form.errorBoxes.empty();

    const uint64_t clocks = s.board->TckCount() - clocksBefore;
    const std::vector<std::string> lines = s.form.LogFrom(mark);
    const std::vector<std::string>& boxes = s.form.errorBoxes;
    std::vector<std::string> problems;

    if (overBudget) problems.push_back("over the event budget");
    if (clocks > kClockBudget) problems.push_back("over the clock budget");
    if (!s.Idle()) problems.push_back("busy mode not left");
    if (!s.ProgressHidden()) problems.push_back("progress shown");
    if (!s.form.yesNoAnswers.empty() || !s.form.warningAnswers.empty() || !s.form.files.empty())
        problems.push_back("answers left over");
    if (queued && (queued->Overflows() != 0 || queued->Unread() != 0))
        problems.push_back("samples queued past the buffer or left unread");

    // The TAP reset as the last TAP action: the host no longer counts on the link state, the
    // board's TAP sits in Run-Test/Idle and the command's last log line is the reset's.
    if (command.resetsTap) {
        if (TapReady || s.board->State() != board::TapState::RunTestIdle || lines.empty() ||
            lines.back() != kTapReset)
            problems.push_back("TAP not reset last");
    } else if (TapReady) {
        problems.push_back("TAP left in the link scan");
    }

    auto found = [&](const std::string& prefix) {
        for (const std::string& l : lines)
            if (StartsWith(l, prefix)) return l;
        for (const std::string& b : boxes)
            if (StartsWith(b, prefix)) return "box: " + b;
        return std::string();
    };
    bool success = true;
    for (const std::string& t : command.successTexts)
        success = success && !found(t).empty();
    if (command.successTexts.empty()) success = boxes.empty();
    if (command.says == Says::Message && !command.successTexts.empty())
        for (const std::string& t : command.failureTexts)
            if (!found(t).empty() && !StartsWith(t, "Verifying word")) success = false;

    std::string said;
    if (command.says == Says::Message) {
        for (const std::string& t : command.failureTexts)
            if (said.empty()) said = found(t);
        if (!boxes.empty() && said.empty()) said = "box: " + boxes.front();
    } else {
        said = found(command.probe);
    }
    if (command.name == std::string("cmdReadToFileClick")) {
        // Success logs nothing: the file then holds the 4096 bytes asked for.
        std::error_code ec;
        const auto size = std::filesystem::file_size(s.Path("dump.bin"), ec);
        if (ec || size != 0x1000) success = false;
        if (said.empty() && !success) said = "file of " + std::to_string(ec ? 0 : size) + " bytes";
    }
    if (command.name == std::string("cmdManReadClick")) {
        success = boxes.empty() && s.form.Text("txtManData") == Hex8(s.board->Bus().Read32(kTrap));
        if (said.empty() && !success) said = "txtManData=" + s.form.Text("txtManData");
    }

    if (success && command.landed && !command.landed(s))
        problems.push_back("success reported but the target does not hold the result");
    // The outcome a script sees: a command that did its job reports no failure, and one whose
    // own failure line or box appeared reports one. Commands without failure messages have only
    // their values to show.
    if (command.says == Says::Message) {
        if (success && reportedFailure) problems.push_back("outcome failed on a success");
        if (!success && !said.empty() && !StartsWith(said, "Verifying word") &&
            !StartsWith(said, "txtManData=") && !reportedFailure)
            problems.push_back("failure said but the outcome is success");
    } else if (command.valuesReported && success != !reportedFailure) {
        problems.push_back(success ? "outcome failed on a success"
                                   : "wrong values but the outcome is success");
    }

    CellOutcome out;
    const bool healthy = column == 0;
    if (healthy) {
        if (!success) problems.push_back("no success on a healthy board: " + Short(said));
        out.text = "ok";
    } else if (success) {
        out.text = "ok (fault not seen)";
    } else if (said.empty()) {
        problems.push_back("failure not said");
    } else {
        out.text = Short(said);
    }
    if (aborts > 0) out.text += " [aborted]";
    if (!problems.empty()) {
        out.ok = false;
        std::string all;
        for (const std::string& p : problems)
            all += (all.empty() ? "" : "; ") + p;
        out.text = "FAIL: " + all + (out.text.empty() ? "" : " (" + out.text + ")");
        std::string log;
        for (const std::string& l : lines)
            log += l + "\n";
        for (const std::string& b : boxes)
            log += "box: " + b + "\n";
        ADD_FAILURE() << all << "\nlog of the run:\n" << log;
    }
    return out;
}

TEST_P(FaultMatrix, EndsIdleResetAndSaysWhatFailed) {
    const CommandCase& command = Commands()[GetParam()];
    std::vector<std::string> cells;
    for (size_t column = 0; column < Faults().size(); ++column) {
        const CellOutcome atHand = RunCell(command, Faults()[column], column, 1);
        const CellOutcome queued = RunCell(command, Faults()[column], column, kRemoteSampleBuffer);
        EXPECT_EQ(queued.text, atHand.text)
            << command.name << " on " << Faults()[column].name << ": the queued cable differs";
        cells.push_back(atHand.text);
    }
    rows().push_back({command.name, cells});
    std::cout << Table({{command.name, cells}}) << std::flush;
}

std::string CommandName(const ::testing::TestParamInfo<size_t>& info) {
    std::string name = Commands()[info.param].name;
    name = name.substr(0, name.find(' '));
    return name;
}

INSTANTIATE_TEST_SUITE_P(Commands, FaultMatrix, ::testing::Range<size_t>(0, 19), CommandName);

TEST(FaultMatrixTable, CoversTheNineteenCommandsAndEightBoards) {
    EXPECT_EQ(Commands().size(), 19u);
    EXPECT_EQ(Faults().size(), 8u);
}

} // namespace
} // namespace tapster::test
