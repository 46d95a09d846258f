// Clicks at every keep-alive point of a running command: each other button, the monitor's Start
// and control-register buttons, and "Abort !". In busy mode they are refused (disabled); inside
// the waits of the commands without busy mode the window refuses them too. Only "Abort !" runs,
// and the running command must still end correctly.
#include "gui_session.h"

#include <QTabWidget>
#include <iostream>
#include <sstream>

namespace tapster::test {
namespace {

// Every button a user can reach, in the order the clicks cycle through them. "Load DCU" is
// hidden and "Abort !" is clicked only while it is shown.
const char* const kButtons[] = {
    "cmdDelay",      "cmdMemSeek",    "cmdChkTraps", "cmdReadRom",  "cmdLoadTrap",  "cmdInstTrap",
    "cmdTakeTrap",   "cmdGetDevCode", "cmdProtect",  "cmdBlkErase", "cmdChipErase", "cmdReadToFile",
    "cmdWriteFlash", "cmdAddRec",     "cmdEditRec",  "cmdDelRec",   "cmdRunBatch",  "cmdManRead",
    "cmdManWrite",   "cmdVrfRAM",     "cmdVrfTrap",  "cmdStartDCU", "cmdChgCtrl",   "cmdCancel"};

struct Running {
    const char* button;
    std::function<void(GuiSession&)> prepare; // fields, files, the command's own answers
    std::vector<std::string> success;         // lines the command logs when it did its job
    std::vector<std::string> failure;         // lines it logs when it reports a failure
};

class Reentrancy : public GuiSession {
  protected:
    static std::ostringstream& table() {
        static std::ostringstream t;
        return t;
    }
    static void TearDownTestSuite() {
        std::cout << "\nRe-entrancy (clicks at the keep-alive points of a running command):\n"
                  << "| running command | keep-alive points | clicks refused | clicks run nested "
                     "| ended correctly |\n|---|---|---|---|---|\n"
                  << table().str() << std::flush;
    }

    // Runs `r` with one click per keep-alive point, the clicks going round kButtons from where
    // the last run left them.
    void Exercise(const Running& r, bool monitorStart = false);
    size_t next = 0;
};

void Reentrancy::Exercise(const Running& r, bool monitorStart) {
    SCOPED_TRACE(r.button);
    window->Form().SetText("txtRAM", "FFFFFFFF"); // a nested search reads nothing
    window->Form().SetText("txtVRAM", "FFFFFFFF");
    if (r.prepare) r.prepare(*this);
    const size_t mark = Mark();
    int refused = 0, ran = 0;
    std::vector<std::string> nestedRuns;
    atKeepAlive = [&](int) {
        const char* name = kButtons[next++ % std::size(kButtons)];
        QPushButton* b = Button(name);
        if (std::string(name) == "cmdCancel" && !window->Form().Visible("cmdCancel")) return;
        const size_t before = Mark();
        const QString caption = Button("cmdStartDCU")->text();
        if (std::string(name) == "cmdCancel")
            answers.push_front(::tapster::test::Press(QMessageBox::Yes));
        b->click(); // a disabled button ignores it, as it ignores the mouse
        const bool didSomething =
            b->isEnabled() && (Mark() != before || Button("cmdStartDCU")->text() != caption ||
                               std::string(name) == "cmdCancel");
        if (didSomething) {
            ++ran;
            nestedRuns.push_back(name);
        } else {
            ++refused;
        }
    };
    Press(r.button);
    atKeepAlive = nullptr;
    answers.clear();

    EXPECT_GT(points, 0) << "no keep-alive point";
    if (monitorStart) {
        // Started, and busy until stopped; its link state ready for the ticks.
        EXPECT_EQ(Button("cmdStartDCU")->text(), "Stop");
        EXPECT_TRUE(TapReady);
    } else {
        EXPECT_TRUE(Idle()) << "busy mode not left or progress shown";
        EXPECT_FALSE(TapReady) << "the TAP is not reset";
        EXPECT_EQ(Button("cmdStartDCU")->text(), "Start") << "the monitor started inside a command";
        EXPECT_FALSE(window->Form().TimerEnabled());
    }
    bool succeeded = true;
    for (const std::string& line : r.success)
        succeeded = succeeded && LoggedSince(mark, line);
    bool failed = false;
    for (const std::string& line : r.failure)
        failed = failed || LoggedSince(mark, line);
    std::string seen;
    for (const std::string& b : boxes)
        seen += "\nbox: " + b;
    boxes.clear();
    const std::vector<std::string> log = Log();
    for (size_t i = mark; i < log.size() && i < mark + 40; ++i)
        seen += "\nlog: " + log[i];
    EXPECT_TRUE(succeeded != failed) << "neither its result nor its failure, or both" << seen;
    if (r.failure.empty()) {
        EXPECT_TRUE(succeeded);
    }
    for (const std::string& n : nestedRuns)
        EXPECT_EQ(n, "cmdCancel") << "a command ran inside " << r.button;
    std::string runs;
    for (const std::string& n : nestedRuns)
        if (runs.find(n) == std::string::npos) runs += (runs.empty() ? "" : ", ") + n;
    table() << "| " << r.button << " | " << points << " | " << refused << " | " << ran
            << (runs.empty() ? "" : " (" + runs + ")") << " | "
            << (HasFailure() ? "NO"
                : succeeded  ? "yes"
                             : "yes (reported its failure)")
            << " |\n";
}

// Busy commands first: nothing can run inside them but "Abort !" (answered Yes here) and the
// refused monitor buttons.
TEST_F(Reentrancy, BusyCommandsRefuseEverythingButAbort) {
    TakeAgent();
    const std::vector<std::string> agentFailed = {"******** Operation terminated !!! *********"};
    const Running busy[] = {
        {"cmdReadRom", nullptr, {"Done. See file intRom.bin at current directory."}, {}},
        {"cmdVrfRAM",
         [](GuiSession& s) {
             s.WriteFile("ram.bin", 2000);
             s.window->Form().SetText("txtVrfRAM", "40000000");
             s.answers.push_back(ChooseFile(s.Path("ram.bin")));
         },
         {"Memory downloaded and verified successfully."},
         {}},
        {"cmdVrfTrap", nullptr, {"Trap handler routine verified successfully."}, {}},
        {"cmdGetDevCode", nullptr, {"Flash Manufacturer CODE 0001"}, agentFailed},
        {"cmdProtect",
         [](GuiSession& s) { s.window->Form().SetText("txtBlkBase", "7FE10000"); },
         {"Block 7FE10000 protection status = 0"},
         agentFailed},
        {"cmdBlkErase",
         [](GuiSession& s) {
             s.window->Form().SetText("txtBlkBase", "7FE10000");
             s.answers.push_back(::tapster::test::Press(QMessageBox::Ok));
         },
         {"Done."},
         agentFailed},
        {"cmdWriteFlash",
         [](GuiSession& s) {
             s.WriteFile("image.bin", 0x3000);
             s.window->Form().SetText("txtFromAddr", "7FE20000");
             s.window->Form().SetText("txtFlashLen", "3000");
             s.answers.push_back(ChooseFile(s.Path("image.bin")));
             s.answers.push_back(::tapster::test::Press(QMessageBox::Ok));
         },
         {"Done."},
         agentFailed},
        {"cmdReadToFile",
         [](GuiSession& s) {
             s.window->Form().SetText("txtFromAddr", "7FE00000");
             s.window->Form().SetText("txtFlashLen", "8000");
             s.answers.push_back(ChooseFile(s.Path("dump.bin")));
         },
         {},
         {"Error reading memory!!!"}},
        {"cmdChipErase",
         [](GuiSession& s) { s.answers.push_back(::tapster::test::Press(QMessageBox::Ok)); },
         {"Done."},
         agentFailed},
        {"cmdRunBatch", nullptr, {"DCU_CONTROL 20000000"}, {}},
    };
    for (const Running& r : busy)
        Exercise(r);
    EXPECT_EQ(std::filesystem::file_size(Path("dump.bin")), 0x8000u);

    // The monitor itself: clicks during its start, then its stop.
    Exercise({"cmdStartDCU", nullptr, {"Initializing JTAG ..."}, {}}, true);
    Press("cmdStartDCU");
    EXPECT_EQ(Button("cmdStartDCU")->text(), "Start");
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(TapReady);
    EXPECT_EQ(Log().back(), "Reseting TAP ... Done.");
}

// Commands without busy mode: the other buttons look usable inside their waits, but a click there
// is refused.
TEST_F(Reentrancy, CommandsWithoutBusyModeRefuseClicksInsideTheirWaits) {
    TakeAgent();
    const Running free[] = {
        {"cmdChkTraps", nullptr, {"BRK_TRAP_HIGH+IPTR 80000800"}, {}},
        {"cmdLoadTrap", nullptr, {"Trap routine loaded successfully."}, {}},
        {"cmdInstTrap", nullptr, {"New Trap Wptr=80000A00"}, {}},
        {"cmdTakeTrap", nullptr, {"Setting Trap on interrupt..."}, {}},
        {"cmdManWrite",
         [](GuiSession& s) {
             s.window->Form().SetText("txtManAddr", "80001000");
             s.window->Form().SetText("txtManData", "12345678");
         },
         {"Verifying word ...12345678"},
         {}},
        {"cmdDelay", nullptr, {"Long test result - -1"}, {}},
    };
    // The clicks go round the buttons across the commands: together they give every button a
    // keep-alive point.
    for (const Running& r : free)
        Exercise(r);
    // "Read" shows its word in the data field, not in the log.
    window->Form().SetText("txtManAddr", "80001000");
    window->Form().SetText("txtManData", "");
    Exercise({"cmdManRead", nullptr, {}, {}});
    EXPECT_EQ(window->Form().Text("txtManData"), "12345678");
    EXPECT_GE(next, std::size(kButtons)) << "not every button was clicked inside a command";
}

} // namespace
} // namespace tapster::test
