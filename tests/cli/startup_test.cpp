// The shared start-up: backend options out of the command line, the backend they name, and the
// CLI's button table.
#include "app/backend_table.h"
#include "app/startup.h"
#include "app/window_arguments.h"
#include "cli/cli_arguments.h"
#include "cli/runner.h"
#include "cli/terminal_form.h"
#include "ops/commands.h"

#include <fstream>
#include <gtest/gtest.h>
#include <utility>

namespace tapster {
namespace {

struct BackendGuard {
    ~BackendGuard() { SetPortBackend(nullptr); }
};

// tapcheck-cli's own options stand anywhere; the steps and the job's options keep their order.
TEST(CliArguments, OptionsAreTakenOutAndTheRestKeepsItsOrder) {
    const struct {
        std::vector<std::string> args;
        BackendOptions options;
        double deadline;
        std::vector<std::string> rest;
    } cases[] = {
        {{"cmdDelay", "--simulate=board.json", "print=lblSpeed"},
         {true, "board.json", ""},
         0,
         {"cmdDelay", "print=lblSpeed"}},
        {{"--simulate", "cmdDelay", "--deadline", "2.5"}, {true, "", ""}, 2.5, {"cmdDelay"}},
        {{"--port", "remote:127.0.0.1:4444", "dump", "d.bin", "--at=7FE00000", "-x"},
         {false, "", "remote:127.0.0.1:4444"},
         0,
         {"dump", "d.bin", "--at=7FE00000", "-x"}},
        {{"cmdDelay"}, {}, 0, {"cmdDelay"}},
    };
    for (const auto& c : cases) {
        const cli::CliArguments parsed = cli::ParseCliArguments(c.args);
        EXPECT_EQ(parsed.action, cli::CliArguments::Action::kRun) << parsed.text;
        EXPECT_EQ(parsed.options.simulate, c.options.simulate) << c.args[0];
        EXPECT_EQ(parsed.options.preset, c.options.preset);
        EXPECT_EQ(parsed.options.port, c.options.port);
        EXPECT_EQ(parsed.deadlineSeconds, c.deadline);
        EXPECT_EQ(parsed.rest, c.rest);
    }
}

TEST(CliArguments, MalformedOrConflictingOptionsAreRefused) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--simulate", "--port=direct"},
                                          {"--simulate", "--simulate"},
                                          {"--port=direct", "--port=direct"},
                                          {"--simulate="},
                                          {"--port=", "cmdDelay"},
                                          {"--port"},
                                          {"--deadline=", "5"},
                                          {"--deadline", "0x"}}) {
        const cli::CliArguments parsed = cli::ParseCliArguments(args);
        EXPECT_EQ(parsed.action, cli::CliArguments::Action::kRefuse) << args[0];
        EXPECT_FALSE(parsed.text.empty());
        EXPECT_EQ(parsed.text.find('\n'), std::string::npos);
    }
}

// The windows' command line: help and version win wherever they stand, an absolute path is no
// option (on Windows either), anything unknown is refused.
TEST(WindowArguments, HelpAndVersionWinThenTheBackendOptionsDecide) {
    using Action = WindowArguments::Action;
    const struct {
        std::vector<std::string> args;
        Action action;
        std::string text; // how the text begins
    } cases[] = {
        {{"--bogus", "--help"}, Action::kTell, "Usage: tapcheck [option]\n"},
        {{"--simulate=", "--version"}, Action::kTell, "tapcheck "},
        {{"--simulate", "/abs/preset.json"}, Action::kRefuse, "unknown option /abs/preset.json"},
        {{"--simulate="}, Action::kRefuse, "--simulate= needs a preset file"},
        {{"--simulate=/abs/board.json"}, Action::kRun, ""},
    };
    for (const auto& c : cases) {
        const WindowArguments start = ParseWindowArguments(c.args);
        EXPECT_EQ(start.action, c.action) << c.args[0];
        EXPECT_EQ(start.text.substr(0, c.text.size()), c.text) << c.args[0];
    }
    EXPECT_EQ(ParseWindowArguments({"--simulate=/abs/board.json"}).options.preset,
              "/abs/board.json");
}

TEST(CreateBackend, SimulateInstallsTheBoard) {
    BackendGuard guard;
    BackendOptions options;
    options.simulate = true;
    std::string error;
    std::unique_ptr<PortBackend> backend = CreateBackend(options, error);
    ASSERT_NE(backend, nullptr) << error;
    EXPECT_EQ(backend->Name(), "simulated board");
    EXPECT_EQ(GetPortBackend(), backend.get());
}

TEST(CreateBackend, AMissingPresetIsAnErrorNotTheDefaultBoard) {
    BackendGuard guard;
    BackendOptions options;
    options.simulate = true;
    options.preset = "no-such-preset.json";
    std::string error;
    EXPECT_EQ(CreateBackend(options, error), nullptr);
    EXPECT_NE(error.find("no-such-preset.json"), std::string::npos) << error;
    EXPECT_EQ(GetPortBackend(), nullptr);
}

TEST(CreateBackend, AnUnknownOrIncompletePortIsAnError) {
    BackendGuard guard;
    BackendOptions options;
    for (const char* port :
         {"usb:1", "ppdevx", "ppdev:", "direct:0x278x", "direct:FFFE", "inpout:0x278x"}) {
        options.port = port;
        std::string error;
        EXPECT_EQ(CreateBackend(options, error), nullptr) << port;
        EXPECT_NE(error.find(port), std::string::npos) << error;
        EXPECT_EQ(GetPortBackend(), nullptr);
    }
}

// The README's port rows are the backend table's, in its order; --help names every row.
TEST(BackendTable, TheReadmeAndTheHelpShowEveryRow) {
    std::ifstream readme(TAPSTER_SOURCE_DIR "/README.md");
    ASSERT_TRUE(readme.good());
    std::vector<std::string> documented;
    for (std::string line; std::getline(readme, line);)
        if (line.rfind("| `--port=", 0) == 0) documented.push_back(line);
    std::vector<std::string> rows;
    const std::string help = BackendOptionsHelp();
    for (const PortBackendRow& row : PortBackendRows()) {
        const std::string option = "--port=" + std::string(row.usage);
        rows.push_back("| `" + option + "` | " + std::string(row.help) + " | " +
                       std::string(row.platforms) + " |");
        // A long option stands on a line of its own, its text below.
        EXPECT_TRUE(help.find("  " + option + " ") != std::string::npos ||
                    help.find("  " + option + "\n") != std::string::npos)
            << help;
    }
    EXPECT_EQ(documented, rows);
}

#ifdef __linux__
TEST(CreateBackend, RealPortsAreNamedAndNotOpenedBeforeTheClaim) {
    BackendGuard guard;
    std::string error;
    BackendOptions options;
    options.port = "ppdev:/dev/parport7";
    auto backend = CreateBackend(options, error);
    ASSERT_NE(backend, nullptr) << error;
    EXPECT_EQ(backend->Name(), "ppdev:/dev/parport7");

    options.port = "remote:127.0.0.1:1";
    backend = CreateBackend(options, error);
    ASSERT_NE(backend, nullptr) << error;
    EXPECT_NE(backend->Name().find("127.0.0.1"), std::string::npos) << backend->Name();

    options.port = "remote:nohostport";
    EXPECT_EQ(CreateBackend(options, error), nullptr);

    options.port = "direct:d010";
    backend = CreateBackend(options, error);
    ASSERT_NE(backend, nullptr) << error;
    EXPECT_EQ(backend->Name(), "direct:0xD010");
}

#endif

#ifdef _WIN32
// The InpOut32 DLL is looked for only when the port is claimed: naming it needs no DLL.
TEST(CreateBackend, TheInpOutPortIsNamedBeforeItsDllIsLoaded) {
    BackendGuard guard;
    std::string error;
    BackendOptions options;
    for (const auto& [port, name] :
         {std::pair{"inpout", "inpout"}, {"inpout:d010", "inpout:0xD010"}}) {
        options.port = port;
        auto backend = CreateBackend(options, error);
        ASSERT_NE(backend, nullptr) << error;
        EXPECT_EQ(backend->Name(), name);
    }
}
#endif

#ifdef __linux__
TEST(CreateBackend, WithoutOptionsTheFirstParallelPort) {
    BackendGuard guard;
    std::string error;
    auto backend = CreateBackend(BackendOptions{}, error);
    ASSERT_NE(backend, nullptr) << error;
    EXPECT_EQ(backend->Name(), "ppdev:/dev/parport0");
}
#endif

TEST(CliButtons, EveryButtonOfTheWindowHasItsHandler) {
    cli::TerminalForm window(stdout, stderr);
    int buttons = 0;
    for (const std::string& name : window.Names()) {
        if (window.KindOf(name) == WidgetKind::Button) {
            ++buttons;
            EXPECT_NE(cli::ButtonHandler(name), nullptr) << name;
        } else {
            EXPECT_EQ(cli::ButtonHandler(name), nullptr) << name;
        }
    }
    EXPECT_EQ(buttons, 25);
    // "Take Trap" and the hidden "Load DCU" share one handler; the monitor's glyph button is
    // the control-register change.
    EXPECT_EQ(cli::ButtonHandler("cmdTakeTrap"), &cmdLoadDCUClick);
    EXPECT_EQ(cli::ButtonHandler("cmdLoadDCU"), &cmdLoadDCUClick);
    EXPECT_EQ(cli::ButtonHandler("cmdChgCtrl"), &cmdChangeCtrlClick);
    EXPECT_EQ(cli::ButtonHandler("cmdCancel"), &cmdCancelClick);
}

} // namespace
} // namespace tapster
