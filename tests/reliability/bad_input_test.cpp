// Bad input: every field test of every command against the usual mistakes (empty, zero, a bad
// character, a 0x prefix, blanks, seventeen digits, over-long lengths), and the files the
// commands read and write: missing, unreadable, a directory, empty, shorter or longer than
// asked, no regular file (a FIFO, a device), 4 GiB or larger, on a full or read-only location,
// behind a symbolic link; and preset files that are no presets. A refused field gets its box
// before the target is touched; a file problem gets a clear box; nothing half-done is reported
// as done.
#include "board/preset.h"
#include "board_session.h"
#include "core/hex.h"
#include "ops/command_outcome.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tapster::test {
namespace {

using Session = BoardSession;

namespace fs = std::filesystem;

// One text typed into a field, with the value the hex field parse gives it.
struct Input {
    const char* label;
    const char* text;
    uint64_t value;
};

constexpr uint64_t kAllOnes = ~uint64_t{0};

const std::vector<Input>& AddressInputs() {
    static const std::vector<Input> inputs = {
        {"empty", "", 0},
        {"zero", "0", 0},
        {"bad character", "7FE1000G", kAllOnes},
        {"0x prefix", "0x7FE10000", kAllOnes},
        {"leading space", " 7FE10000", kAllOnes},
        {"trailing space", "7FE10000 ", kAllOnes},
        {"inner space", "7FE1 0000", kAllOnes},
        {"sign", "-7FE10000", kAllOnes},
        {"17 digits (wraps to 7FE10000)", "0000000007FE10000", 0x7FE10000},
        {"17 digits (wraps to all ones)", "1FFFFFFFFFFFFFFFF", kAllOnes},
        {"9 digits (low 32 bits zero)", "100000000", 0x100000000},
        {"valid", "7FE10000", 0x7FE10000},
    };
    return inputs;
}

const std::vector<Input>& LengthInputs() {
    static const std::vector<Input> inputs = {
        {"empty", "", 0},
        {"zero", "0", 0},
        {"bad character", "10G", kAllOnes},
        {"0x prefix", "0x100", kAllOnes},
        {"trailing space", "100 ", kAllOnes},
        {"17 digits (wraps to 100)", "00000000000000100", 0x100},
        {"over the limit", "200001", 0x200001},
        {"far over the limit", "FFFFFFFF", 0xFFFFFFFF},
        {"9 digits (low 32 bits zero)", "100000000", 0x100000000},
        {"9 digits (low 32 bits 100)", "100000100", 0x100000100},
        {"the limit", "200000", 0x200000},
        {"valid", "100", 0x100},
    };
    return inputs;
}

bool Positive(uint64_t v) {
    return static_cast<int64_t>(v) > 0;
}

// What a field test decides for one value; "" lets the command go on.
using Rule = std::function<std::string(uint64_t)>;

Rule PositiveOr(const std::string& box) {
    return [box](uint64_t v) { return Positive(v) ? std::string() : box; };
}
Rule Low32NonZeroOr(const std::string& box) {
    return [box](uint64_t v) { return static_cast<uint32_t>(v) != 0 ? std::string() : box; };
}
Rule NotNegativeOr(const std::string& box) {
    return [box](uint64_t v) { return static_cast<int64_t>(v) >= 0 ? std::string() : box; };
}
// A length: positive, at most 2 MiB in its low 32 bits, and not 0 there (a length whose low 32
// bits are 0 would move nothing and still report the command done).
Rule LengthOr(const std::string& box) {
    return [box](uint64_t v) {
        const auto low = static_cast<uint32_t>(v);
        return Positive(v) && low != 0 && low <= 0x200000 ? std::string() : box;
    };
}
// Block or from address: positive, and not below the flash base 7FE00000.
Rule AboveBaseOr(const std::string& box) {
    return [box](uint64_t v) {
        return Positive(v) && static_cast<uint32_t>(v) >= 0x7FE00000 ? std::string() : box;
    };
}
// The flash base against a block or from address of 7FE10000.
Rule BaseBelowOr(const std::string& box) {
    return [box](uint64_t v) {
        return Positive(v) && static_cast<uint32_t>(v) <= 0x7FE10000 ? std::string() : box;
    };
}

struct FieldCase {
    const char* command;
    void (*handler)();
    const char* field;
    bool length; // takes the length inputs
    Rule rule;
    // The other fields valid, and the answers the command asks for once the field passes.
    std::function<void(Session&)> prepare;
};

const std::string kTrapBox = "Wrong TRAP start address!!! Try to specify another one!";
const std::string kBlockBox = "Wrong Flash or Block address value !!!";
const std::string kFromBox = "Wrong Flash or From address value !!!";
const std::string kLengthBox = "Wrong Data length value !!!";

void FlashFields(Session& s) {
    s.form.SetText("lstFlashBase", "7FE00000");
    s.form.SetText("txtBlkBase", "7FE10000");
    s.form.SetText("txtFromAddr", "7FE10000");
    s.form.SetText("txtFlashLen", "100");
}

const std::vector<FieldCase>& FieldCases() {
    static const std::vector<FieldCase> cases = {
        {"cmdLoadTrapClick", cmdLoadTrapClick, "lstTrapAddr", false, PositiveOr(kTrapBox),
         [](Session&) {}},
        {"cmdManReadClick", cmdManReadClick, "txtManAddr", false,
         Low32NonZeroOr("Wrong address value !!!"), [](Session&) {}},
        {"cmdManWriteClick", cmdManWriteClick, "txtManAddr", false,
         PositiveOr("Wrong address or data value !!!"),
         [](Session& s) { s.form.SetText("txtManData", "12345678"); }},
        {"cmdManWriteClick", cmdManWriteClick, "txtManData", false,
         NotNegativeOr("Wrong address or data value !!!"),
         [](Session& s) { s.form.SetText("txtManAddr", "80001000"); }},
        {"cmdVrfRAMClick", cmdVrfRAMClick, "txtVrfRAM", false,
         PositiveOr("Wrong RAM Address value !!!"),
         [](Session& s) { s.form.files.push_back(s.WriteFile("ram.bin", 100)); }},
        {"cmdGetDevCodeClick", cmdGetDevCodeClick, "lstFlashBase", false,
         Low32NonZeroOr("Wrong Flash address value !!!"), [](Session&) {}},
        {"cmdChipEraseClick", cmdChipEraseClick, "lstFlashBase", false,
         Low32NonZeroOr("Wrong Flash address value !!!"),
         [](Session& s) { s.form.warningAnswers.push_back(false); }},
        {"cmdBlkEraseClick", cmdBlkEraseClick, "txtBlkBase", false, AboveBaseOr(kBlockBox),
         [](Session& s) {
             s.form.SetText("lstFlashBase", "7FE00000");
             s.form.warningAnswers.push_back(false);
         }},
        {"cmdBlkEraseClick", cmdBlkEraseClick, "lstFlashBase", false, BaseBelowOr(kBlockBox),
         [](Session& s) {
             s.form.SetText("txtBlkBase", "7FE10000");
             s.form.warningAnswers.push_back(false);
         }},
        {"cmdProtectClick", cmdProtectClick, "txtBlkBase", false, AboveBaseOr(kBlockBox),
         [](Session& s) { s.form.SetText("lstFlashBase", "7FE00000"); }},
        {"cmdProtectClick", cmdProtectClick, "lstFlashBase", false, BaseBelowOr(kBlockBox),
         [](Session& s) { s.form.SetText("txtBlkBase", "7FE10000"); }},
        {"cmdWriteFlashClick", cmdWriteFlashClick, "txtFlashLen", true, LengthOr(kLengthBox),
         [](Session& s) {
             s.form.files.push_back(s.WriteFile("image.bin", 0x200000));
             s.form.warningAnswers.push_back(false);
         }},
        {"cmdWriteFlashClick", cmdWriteFlashClick, "txtFromAddr", false, AboveBaseOr(kFromBox),
         [](Session& s) {
             s.form.files.push_back(s.WriteFile("image.bin", 0x100));
             s.form.warningAnswers.push_back(false);
         }},
        {"cmdWriteFlashClick", cmdWriteFlashClick, "lstFlashBase", false, BaseBelowOr(kFromBox),
         [](Session& s) {
             s.form.files.push_back(s.WriteFile("image.bin", 0x100));
             s.form.warningAnswers.push_back(false);
         }},
        {"cmdReadToFileClick", cmdReadToFileClick, "txtFlashLen", true, LengthOr(kLengthBox),
         [](Session& s) { s.form.files.push_back(s.Path("dump.bin")); }},
        {"cmdReadToFileClick", cmdReadToFileClick, "txtFromAddr", false,
         PositiveOr("Wrong From address value !!!"),
         [](Session& s) { s.form.files.push_back(s.Path("dump.bin")); }},
    };
    return cases;
}

// Keep-alive points after which a command counts as running away (a 2 MiB dump takes 8200).
constexpr int kEventBudget = 20000;

class BadInput : public ::testing::Test {
  protected:
    static void TearDownTestSuite() {
        std::cout
            << "\nBad input matrix:\n| command | field | input | result |\n|---|---|---|---|\n"
            << table().str() << std::flush;
        table().str("");
    }
    static std::ostringstream& table() {
        static std::ostringstream t;
        return t;
    }

    // A session with the agent taken on a healthy board; every command bounded: an agent wait
    // is aborted at once, and a run past the budget is stopped and fails the test.
    std::unique_ptr<Session> NewSession(const std::string& suffix) {
        auto s = std::make_unique<Session>(TestDirectory(suffix));
        s->form.msPerEvent = 10;
        s->StartBoard();
        EXPECT_TRUE(s->TakeAgent());
        s->form.errorBoxes.clear();
        Session* raw = s.get();
        raw->form.onEvent = [this, raw](int n) {
            if (raw->form.LastLogLine() == "Waiting for release ..." &&
                raw->form.Visible("cmdCancel") && raw->form.yesNoAnswers.empty()) {
                raw->form.yesNoAnswers.push_back(false);
                cmdCancelClick();
            }
            if (n - eventsAtStart > kEventBudget) {
                runaway = true;
                AbortFlag = true;
            }
        };
        return s;
    }

    void Run(Session& s, void (*handler)()) {
        eventsAtStart = s.form.events;
        runaway = false;
        handler();
        EXPECT_FALSE(runaway) << "the command ran past its budget and had to be stopped";
        EXPECT_TRUE(s.Idle()) << "busy mode not left";
        EXPECT_TRUE(s.ProgressHidden()) << "progress display left shown";
    }

    static void Row(const std::string& command, const std::string& field, const std::string& input,
                    const std::string& result) {
        std::string r = result;
        for (char& c : r)
            if (c == '\n' || c == '\r') c = ' ';
        table() << "| " << command << " | " << field << " | " << input << " | " << r << " |\n";
    }

    int eventsAtStart = 0;
    bool runaway = false;
};

TEST_F(BadInput, EveryFieldTestGivesItsBoxBeforeTheTargetIsTouched) {
    std::unique_ptr<Session> s = NewSession("");
    int n = 0;
    for (const FieldCase& c : FieldCases()) {
        for (const Input& in : c.length ? LengthInputs() : AddressInputs()) {
            SCOPED_TRACE(std::string(c.command) + " " + c.field + " = \"" + in.text + "\"");
            if (++n % 24 == 0) { // a fresh board now and then
                s.reset();
                s = NewSession("-" + std::to_string(n));
            }
            FlashFields(*s);
            c.prepare(*s);
            s->form.SetText(c.field, in.text);
            s->form.errorBoxes.clear();
            const uint64_t clocks = s->board->TckCount();
            const size_t mark = s->Mark();
            Run(*s, c.handler);

            const std::string expected = c.rule(in.value);
            const auto& boxes = s->form.errorBoxes;
            std::string result;
            if (!expected.empty()) {
                EXPECT_EQ(boxes, std::vector<std::string>{expected});
                EXPECT_EQ(s->board->TckCount(), clocks) << "the target was touched";
                EXPECT_EQ(s->Mark(), mark) << "a refused command logged";
                result = "box \"" + expected + "\"";
            } else {
                // The spec's test passed; only addresses outside the flash window are refused.
                const bool outside =
                    !s->form.statuses.empty() &&
                    s->form.statuses.back().find("flash window") != std::string::npos;
                for (const std::string& b : boxes)
                    EXPECT_TRUE(b.rfind("Wrong ", 0) != 0 || outside)
                        << "refused a valid value: " << b;
                s->form.statuses.clear();
                result = "accepted (value " + HexMin(static_cast<uint32_t>(in.value), 8) + ")";
                if (!boxes.empty()) result += ", then box \"" + boxes.front() + "\"";
            }
            // Whatever was left queued (a dialog or question the command did not reach).
            s->form.files.clear();
            s->form.warningAnswers.clear();
            Row(c.command, c.field, in.label + std::string(" \"") + in.text + "\"", result);
        }
    }
}

// Fields the commands use without a test: the value the parse gives is used as it is.
TEST_F(BadInput, UncheckedFieldsUseTheParsedValue) {
    std::unique_ptr<Session> s = NewSession("");
    for (const char* text : {"4000000G", "0x40000000", " 40000000", "1FFFFFFFFFFFFFFFF"}) {
        SCOPED_TRACE(text);
        // A bad character reads as FFFFFFFF, from which the search window wraps: nothing read.
        s->form.SetText("txtRAM", text);
        s->form.SetText("txtVRAM", text);
        const size_t mark = s->Mark();
        Run(*s, cmdMemSeekClick);
        EXPECT_TRUE(s->LoggedSince(mark, "RAM_START:FFFFFFFF"));
        EXPECT_TRUE(s->LoggedSince(mark, "NO Free memory found at Start address - FFFFFFFF;"));
        EXPECT_TRUE(s->form.errorBoxes.empty());
        Row("cmdMemSeekClick", "txtRAM, txtVRAM", std::string("\"") + text + "\"",
            "not checked: scans from FFFFFFFF, reads nothing, \"NO Free memory found\"");

        // Install points the slots at FFFFFFFF, as the field says.
        s->form.SetText("lstTrapAddr", text);
        Run(*s, cmdInstTrapClick);
        EXPECT_TRUE(s->LoggedSince(mark, "New Trap Iptr=FFFFFFFF"));
        Row("cmdInstTrapClick", "lstTrapAddr", std::string("\"") + text + "\"",
            "not checked: installs FFFFFFFF");

        // The trap verification would run past the top of the address space: refused.
        s->form.errorBoxes.clear();
        Run(*s, cmdVrfTrapClick);
        ASSERT_EQ(s->form.errorBoxes.size(), 1u);
        EXPECT_NE(s->form.errorBoxes[0].find("does not fit in target memory"), std::string::npos);
        EXPECT_FALSE(s->LoggedSince(mark, "Trap handler routine verified successfully."));
        Row("cmdVrfTrapClick", "lstTrapAddr", std::string("\"") + text + "\"",
            "box \"" + s->form.errorBoxes[0] + "\"");
        s->form.errorBoxes.clear();
        s->form.SetText("lstTrapAddr", "80000800");
    }

    // "Read" refuses only zero: a bad character reads the word at FFFFFFFF.
    s->form.SetText("txtManAddr", "0x80000800");
    s->form.SetText("txtManData", "");
    Run(*s, cmdManReadClick);
    EXPECT_TRUE(s->form.errorBoxes.empty());
    EXPECT_EQ(s->form.Text("txtManData"), Hex8(s->board->Bus().Read32(0xFFFFFFFF)));
    Row("cmdManReadClick", "txtManAddr", "0x prefix \"0x80000800\"",
        "not refused (only zero is): reads FFFFFFFF -> " + s->form.Text("txtManData"));
}

// A length of 1 to 3 bytes from an address below 4: the scan's end lies 4 bytes before the
// range's end and must not wrap round to the top of the address space.
TEST_F(BadInput, ReadToFileOfATinyRangeAtTheBottomGivesExactlyThoseBytes) {
    std::unique_ptr<Session> s = NewSession("");
    for (const char* length : {"1", "3"}) {
        SCOPED_TRACE(length);
        s->form.SetText("txtFromAddr", "1");
        s->form.SetText("txtFlashLen", length);
        s->form.files.push_back(s->Path("tiny.bin"));
        Run(*s, cmdReadToFileClick);
        EXPECT_TRUE(s->form.errorBoxes.empty());
        EXPECT_EQ(fs::file_size(s->Path("tiny.bin")), std::stoul(length));
        Row("cmdReadToFileClick", "txtFromAddr, txtFlashLen", std::string("1, ") + length,
            "exactly the bytes asked for");
    }
}

// --- Files the commands read ----------------------------------------------------------------

bool Root() {
    return geteuid() == 0;
}

// The ways a file to be read can be wrong; each makes `path` so.
struct BadFile {
    const char* label;
    std::function<bool(const std::string& path)> make; // false: cannot be made here (skip)
};

const std::vector<BadFile>& UnreadableFiles() {
    static const std::vector<BadFile> files = {
        {"missing", [](const std::string&) { return true; }},
        {"a directory",
         [](const std::string& path) {
             fs::create_directories(path);
             return true;
         }},
        {"unreadable (mode 000)",
         [](const std::string& path) {
             std::ofstream(path) << "data";
             chmod(path.c_str(), 0);
             return !Root(); // root reads it anyway
         }},
        // Opening a FIFO with no writer would block for ever; a device never ends.
        {"a FIFO", [](const std::string& path) { return mkfifo(path.c_str(), 0600) == 0; }},
        {"a device (link to /dev/zero)",
         [](const std::string& path) {
             fs::create_symlink("/dev/zero", path);
             return true;
         }},
    };
    return files;
}

TEST_F(BadInput, FilesThatCannotBeReadGiveABoxAndTouchNothing) {
    struct Reader {
        const char* command;
        void (*handler)();
        std::string name; // in the start directory
        bool dialog;      // chosen with OpenDialog1
        std::vector<std::string> success;
    } readers[] = {
        {"cmdLoadTrapClick",
         cmdLoadTrapClick,
         "fl4_trap.bin",
         false,
         {"Trap routine loaded successfully."}},
        {"cmdVrfTrapClick",
         cmdVrfTrapClick,
         "fl4_trap.bin",
         false,
         {"Trap handler routine verified successfully."}},
        {"cmdVrfRAMClick",
         cmdVrfRAMClick,
         "ram.bin",
         true,
         {"Memory downloaded and verified successfully."}},
        {"cmdWriteFlashClick", cmdWriteFlashClick, "image.bin", true, {"Done."}},
    };
    for (const Reader& r : readers) {
        for (const BadFile& f : UnreadableFiles()) {
            SCOPED_TRACE(std::string(r.command) + ": " + f.label);
            std::unique_ptr<Session> s = NewSession("");
            const std::string path = s->Path(r.name);
            fs::remove_all(path);
            if (!f.make(path)) {
                Row(r.command, "file", f.label, "not run: the tests run as root, who reads it");
                continue;
            }
            FlashFields(*s);
            s->form.SetText("txtVrfRAM", "40000000");
            if (r.dialog) s->form.files.push_back(path);
            s->form.warningAnswers.push_back(true);
            const size_t mark = s->Mark();
            const uint64_t clocks = s->board->TckCount();
            Run(*s, r.handler);
            ASSERT_EQ(s->form.errorBoxes.size(), 1u) << "no box";
            EXPECT_NE(s->form.errorBoxes[0].find(path), std::string::npos)
                << "the box does not name the file: " << s->form.errorBoxes[0];
            for (const std::string& line : r.success)
                EXPECT_FALSE(s->LoggedSince(mark, line));
            EXPECT_LT(s->board->TckCount() - clocks, 1u) << "the target was touched";
            Row(r.command, "file", f.label, "box \"" + s->form.errorBoxes[0] + "\"");
        }
    }
}

TEST_F(BadInput, FilesOfTheWrongLength) {
    // The trap routine: an empty image is refused, a short one loaded padded with zeros, a long
    // one cut at 484 bytes.
    for (size_t size : {size_t{0}, size_t{100}, size_t{1000}}) {
        SCOPED_TRACE(size);
        std::unique_ptr<Session> s = NewSession("");
        s->WriteFile("fl4_trap.bin", size);
        for (uint32_t i = 0; i < 0x200; ++i)
            s->board->Bus().Write8(kTrap + i, 0xEE);
        const size_t mark = s->Mark();
        Run(*s, cmdLoadTrapClick);
        std::string result;
        if (size == 0) {
            ASSERT_EQ(s->form.errorBoxes.size(), 1u);
            EXPECT_FALSE(s->LoggedSince(mark, "Trap routine loaded successfully."));
            result = "box \"" + s->form.errorBoxes[0] + "\"";
        } else {
            EXPECT_TRUE(s->form.errorBoxes.empty());
            EXPECT_TRUE(s->LoggedSince(mark, "Trap routine loaded successfully."));
            for (uint32_t i = 0; i < kImageSize; ++i) {
                const uint8_t want = i < size ? Pattern(i, 0x11) : 0;
                ASSERT_EQ(s->board->Bus().Read8(kTrap + i), want) << i;
            }
            EXPECT_EQ(s->board->Bus().Read8(kTrap + kImageSize), 0xEE) << "written past 484";
            result = size < kImageSize ? "loaded, padded with zeros to 484 bytes"
                                       : "first 484 bytes loaded";
        }
        Row("cmdLoadTrapClick", "fl4_trap.bin", std::to_string(size) + " bytes", result);

        // Verify Trap Handler checks the file's own bytes: an empty file has none.
        const size_t vmark = s->Mark();
        Run(*s, cmdVrfTrapClick);
        const bool verified = s->LoggedSince(vmark, "Trap handler routine verified successfully.");
        EXPECT_EQ(verified, size <= kImageSize) << "a verification of the loaded image";
        Row("cmdVrfTrapClick", "fl4_trap.bin", std::to_string(size) + " bytes",
            verified ? "verified" : "difference reported");
    }

    // Write from File: a file shorter than the length is refused before anything is written;
    // a longer one programs the length asked for.
    for (size_t size : {size_t{0}, size_t{0x7FF}, size_t{0x1000}}) {
        SCOPED_TRACE(size);
        std::unique_ptr<Session> s = NewSession("");
        s->WriteFile("image.bin", size);
        FlashFields(*s);
        s->form.SetText("txtFromAddr", "7FE20000");
        s->form.SetText("txtFlashLen", "800");
        s->form.files.push_back(s->Path("image.bin"));
        s->form.warningAnswers.push_back(true);
        const size_t mark = s->Mark();
        const uint64_t clocks = s->board->TckCount();
        Run(*s, cmdWriteFlashClick);
        std::string result;
        if (size < 0x800) {
            ASSERT_EQ(s->form.errorBoxes.size(), 1u);
            EXPECT_FALSE(s->LoggedSince(mark, "Done."));
            EXPECT_EQ(s->board->TckCount(), clocks);
            EXPECT_EQ(s->form.warningAnswers.size(), 1u) << "asked to overwrite anyway";
            result = "box \"" + s->form.errorBoxes[0] + "\"";
        } else {
            EXPECT_TRUE(s->form.errorBoxes.empty());
            EXPECT_TRUE(s->LoggedSince(mark, "Done."));
            EXPECT_EQ(s->board->Bus().Read8(0x7FE20000 + 0x7FF), Pattern(0x7FF, 0x11));
            EXPECT_EQ(s->board->Bus().Read8(0x7FE20000 + 0x800), 0xFF)
                << "programmed past the length";
            result = "first 800 bytes programmed, \"Done.\"";
        }
        Row("cmdWriteFlashClick", "file (length 800)", std::to_string(size) + " bytes", result);
    }

    // Verify RAM Load of an empty file: nothing to move, verified.
    std::unique_ptr<Session> s = NewSession("");
    s->WriteFile("empty.bin", 0);
    s->form.SetText("txtVrfRAM", "40000000");
    s->form.files.push_back(s->Path("empty.bin"));
    const size_t mark = s->Mark();
    Run(*s, cmdVrfRAMClick);
    EXPECT_TRUE(s->LoggedSince(mark, "Memory downloaded and verified successfully."));
    Row("cmdVrfRAMClick", "file", "0 bytes", "verified, no block moved");
}

// --- Files the dumps write ------------------------------------------------------------------

// Runs `handler` with the file size limit of the process at `bytes` (writes past it fail with
// EFBIG instead of killing the process), then restores the limit.
void WithFileSizeLimit(rlim_t bytes, const std::function<void()>& handler) {
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
    handler();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
}

struct BadTarget {
    const char* label;
    // Makes the dump go to a bad place; returns the path the dump will try to write.
    std::function<std::string(Session&, const std::string& name)> make;
    bool sizeLimit = false;
};

const std::vector<BadTarget>& BadTargets() {
    static const std::vector<BadTarget> targets = {
        {"inside a missing directory",
         [](Session& s, const std::string& name) {
             StartDirectory = (s.dir / "missing").string();
             return (s.dir / "missing" / name).string();
         }},
        {"a directory",
         [](Session& s, const std::string& name) {
             fs::create_directories(s.dir / name);
             return (s.dir / name).string();
         }},
        {"read-only location (/proc)",
         [](Session&, const std::string& name) {
             StartDirectory = "/proc";
             return "/proc/" + name;
         }},
        // Deleted and created afresh only when it is a regular file or a link: a device or
        // FIFO of that name is refused, never written into nor deleted.
        {"a device or FIFO in the way (/dev/full, a FIFO)",
         [](Session& s, const std::string& name) {
             if (name == "dump.bin") return std::string("/dev/full");
             mkfifo((s.dir / name).c_str(), 0600);
             return (s.dir / name).string();
         }},
        {"disk full after 8 KiB (RLIMIT_FSIZE)",
         [](Session& s, const std::string& name) { return (s.dir / name).string(); }, true},
    };
    return targets;
}

TEST_F(BadInput, DumpsToABadPlaceSayItAndNeverReportDone) {
    for (const BadTarget& t : BadTargets()) {
        for (bool rom : {true, false}) {
            const char* command = rom ? "cmdReadRomClick" : "cmdReadToFileClick";
            SCOPED_TRACE(std::string(command) + ": " + t.label);
            std::unique_ptr<Session> s = NewSession("");
            const std::string path = t.make(*s, rom ? "intRom.bin" : "dump.bin");
            s->form.SetText("txtFromAddr", "7FE00000");
            s->form.SetText("txtFlashLen", "10000");
            if (!rom) s->form.files.push_back(path);
            const size_t mark = s->Mark();
            auto run = [&] { Run(*s, rom ? cmdReadRomClick : cmdReadToFileClick); };
            if (t.sizeLimit)
                WithFileSizeLimit(8192, run);
            else
                run();

            ASSERT_EQ(s->form.errorBoxes.size(), 1u) << "no box for the file";
            EXPECT_NE(s->form.errorBoxes[0].find(path), std::string::npos)
                << "the box does not name the file: " << s->form.errorBoxes[0];
            EXPECT_FALSE(s->LoggedSince(mark, "Done. See file intRom.bin at current directory."));
            EXPECT_FALSE(s->LoggedSince(mark, "Done."));
            EXPECT_FALSE(TapReady);
            std::string said = "box \"" + s->form.errorBoxes[0] + "\"";
            for (const std::string& line : s->form.LogFrom(mark))
                if (line == "Read memory Error !!!" || line.rfind("Error writing file", 0) == 0)
                    said += ", log \"" + line + "\"";
            Row(command, "dump file", t.label, said);
        }
    }
}

// The dumps delete the file of their name and create it afresh: a symbolic link there, even one
// pointing out of the directory, is replaced by the dump and what it pointed to stays as it was.
TEST_F(BadInput, DumpsReplaceASymbolicLinkAndNeverWriteThroughIt) {
    for (bool dangling : {false, true}) {
        for (bool rom : {true, false}) {
            const char* command = rom ? "cmdReadRomClick" : "cmdReadToFileClick";
            SCOPED_TRACE(std::string(command) + (dangling ? ": dangling link" : ": link"));
            std::unique_ptr<Session> s = NewSession("");
            const fs::path outside = s->dir.string() + "-victim.txt";
            fs::remove(outside);
            if (!dangling) std::ofstream(outside) << "victim";
            const fs::path link = s->dir / (rom ? "intRom.bin" : "dump.bin");
            fs::create_symlink(outside, link);
            s->form.SetText("txtFromAddr", "7FE00000");
            s->form.SetText("txtFlashLen", "1000");
            if (!rom) s->form.files.push_back(link.string());
            ClearCommandOutcome();
            Run(*s, rom ? cmdReadRomClick : cmdReadToFileClick);

            EXPECT_TRUE(s->form.errorBoxes.empty());
            EXPECT_FALSE(CommandFailed());
            EXPECT_FALSE(fs::is_symlink(link)) << "the link was written through";
            EXPECT_EQ(fs::file_size(link), rom ? 0x20000u : 0x1000u);
            if (dangling) {
                EXPECT_FALSE(fs::exists(outside)) << "the link's target was created";
            } else {
                std::ifstream in(outside);
                std::string text((std::istreambuf_iterator<char>(in)), {});
                EXPECT_EQ(text, "victim") << "the link's target was overwritten";
            }
            fs::remove(outside);
            Row(command, "dump file",
                dangling ? "a dangling symbolic link out of the directory"
                         : "a symbolic link to a file out of the directory",
                "link replaced by the dump, its target untouched");
        }
    }
}

// A length taken from a file's size is 32-bit: a file of 4 GiB or more would wrap round to a
// small length and verify (or program) a few bytes as if they were all.
TEST_F(BadInput, FilesOf4GiBOrMoreAreRefusedBeforeTheTargetIsTouched) {
    std::unique_ptr<Session> s = NewSession("");
    const std::string path = s->Path("huge.bin");
    std::ofstream(path).close();
    std::error_code ec;
    fs::resize_file(path, (uint64_t{1} << 32) + 0x1000, ec); // sparse: no disk space used
    if (ec) GTEST_SKIP() << "no sparse 4 GiB file here: " << ec.message();
    s->form.SetText("txtVrfRAM", "40000000");
    s->form.files.push_back(path);
    const uint64_t clocks = s->board->TckCount();
    const size_t mark = s->Mark();
    Run(*s, cmdVrfRAMClick);
    ASSERT_EQ(s->form.errorBoxes.size(), 1u);
    EXPECT_NE(s->form.errorBoxes[0].find("4 GiB"), std::string::npos) << s->form.errorBoxes[0];
    EXPECT_EQ(s->board->TckCount(), clocks) << "the target was touched";
    EXPECT_FALSE(s->LoggedSince(mark, "Memory downloaded and verified successfully."));
    Row("cmdVrfRAMClick", "file", "4 GiB + 4 KiB (sparse)",
        "box \"" + s->form.errorBoxes[0] + "\"");
    fs::remove(path);
}

// Preset files that are no presets: refused with a message naming the file and the reason, the
// configuration left alone, and never a hang (FIFO), an endless read (/dev/zero) or a parse that
// eats memory (megabytes of text, thousands of nesting levels).
TEST_F(BadInput, PresetFilesThatAreNoPresetsAreRefused) {
    const fs::path dir = TestDirectory("-presets");
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream((dir / name).string(), std::ios::binary) << text;
        return (dir / name).string();
    };
    const struct {
        const char* label;
        std::string path;
        const char* reason;
    } cases[] = {
        {"missing", (dir / "missing.json").string(), "cannot open"},
        {"a folder", dir.string(), "a folder"},
        {"a device (/dev/zero)", "/dev/zero", "not a regular file"},
        {"a FIFO",
         [&] {
             mkfifo((dir / "fifo.json").c_str(), 0600);
             return (dir / "fifo.json").string();
         }(),
         "not a regular file"},
        {"5 MiB of text", write("big.json", "{" + std::string(5 << 20, ' ') + "}"),
         "larger than 4 MiB"},
        {"100000 nested arrays", write("deep.json", std::string(100000, '[')), "nested deeper"},
        {"34 levels (33 arrays in a field)",
         write("deep2.json", "{\"faults\":" + std::string(33, '[') + std::string(33, ']') + "}"),
         "nested deeper"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        board::BoardConfig config;
        config.cpu = "untouched";
        std::string error;
        EXPECT_FALSE(board::LoadPreset(c.path, config, error));
        EXPECT_EQ(error.rfind(c.path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(config.cpu, "untouched");
        Row("LoadPreset", "preset file", c.label, error.substr(c.path.size() + 2));
    }
    // A text under the size cap that would still take a lot of memory to parse (two million
    // values) is refused before the parse: in a child process whose address space leaves only
    // 16 MiB of room it gets its message, never an out-of-memory crash.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define TAPSTER_SANITIZED 1
#endif
#endif
    // A sanitizer reserves far more address space than any limit the test could set.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) && !defined(TAPSTER_SANITIZED)
    std::string numbers = "{\"fills\": [0";
    while (numbers.size() < (4 << 20) - 8)
        numbers += ",0";
    numbers += "]}";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t room = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (16 << 20);
        const rlimit limit{room, room};
        setrlimit(RLIMIT_AS, &limit);
        board::BoardConfig config;
        std::string error;
        const bool ok = board::ParsePreset(numbers, "huge.json", config, error);
        _exit(!ok && error == "huge.json: more than 100000 values; not a preset file" ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the child ended with status " << status << " (a crash, or another message)";
    Row("ParsePreset", "preset text", "4 MiB of values, 16 MiB of memory left",
        "\"more than 100000 values; not a preset file\"");
#endif
    // Brackets inside a string are text, not nesting: the preset fails on its field instead.
    board::BoardConfig config;
    std::string error;
    EXPECT_FALSE(board::LoadPreset(
        write("strings.json", "{\"cpu\": \"" + std::string(100, '[') + "\"}"), config, error));
    EXPECT_EQ(error.find("nested"), std::string::npos) << error;
    EXPECT_NE(error.find("cpu"), std::string::npos) << error;
    fs::remove_all(dir);
}

} // namespace
} // namespace tapster::test
