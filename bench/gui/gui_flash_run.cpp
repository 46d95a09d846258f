// The window through a 2 MiB "Write from File" and "Read to File" on the simulated board, for
// measuring its peak memory (/usr/bin/time -v). The commands talk to the real widgets; only the
// file dialog and the confirmation are answered here, and time is virtual (it moves on when the
// window processes its events), so the agent's 100 ms polls cost nothing. With --idle the window
// only starts and runs its event loop for two seconds.
//   tapster_gui_flash_run [--idle]      (Qt's offscreen platform unless QT_QPA_PLATFORM is set)
#include "../bench_session.h"
#include "flash_agent.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using tapster::ui::QtMainForm;

// The window's widgets and log, with the boxes and the file dialog answered.
class ScriptedForm final : public tapster::MainForm {
  public:
    ScriptedForm(QtMainForm& qt, tapster::test::VirtualClock& clock) : qt_(qt), clock_(clock) {}

    std::string Text(std::string_view n) override { return qt_.Text(n); }
    void SetText(std::string_view n, const std::string& t) override { qt_.SetText(n, t); }
    bool Checked(std::string_view n) override { return qt_.Checked(n); }
    void SetChecked(std::string_view n, bool c) override { qt_.SetChecked(n, c); }
    int Position(std::string_view n) override { return qt_.Position(n); }
    void SetPosition(std::string_view n, int p) override { qt_.SetPosition(n, p); }
    int Minimum(std::string_view n) override { return qt_.Minimum(n); }
    int Maximum(std::string_view n) override { return qt_.Maximum(n); }
    void SetRange(std::string_view n, int lo, int hi) override { qt_.SetRange(n, lo, hi); }
    int TickInterval(std::string_view n) override { return qt_.TickInterval(n); }
    void SetTickInterval(std::string_view n, int i) override { qt_.SetTickInterval(n, i); }
    std::vector<std::string> Items(std::string_view n) override { return qt_.Items(n); }
    void AddItem(std::string_view n, const std::string& t) override { qt_.AddItem(n, t); }
    void SetItem(std::string_view n, int i, const std::string& t) override { qt_.SetItem(n, i, t); }
    void DeleteItem(std::string_view n, int i) override { qt_.DeleteItem(n, i); }
    bool Visible(std::string_view n) override { return qt_.Visible(n); }
    void SetVisible(std::string_view n, bool v) override { qt_.SetVisible(n, v); }
    bool Enabled(std::string_view n) override { return qt_.Enabled(n); }
    void SetEnabled(std::string_view n, bool e) override { qt_.SetEnabled(n, e); }
    void Repaint(std::string_view n) override { qt_.Repaint(n); }
    void LogLine(const std::string& line) override { qt_.LogLine(line); }
    std::string LastLogLine() override { return qt_.LastLogLine(); }
    void ReplaceLastLogLine(const std::string& line) override { qt_.ReplaceLastLogLine(line); }
    bool TimerEnabled() override { return qt_.TimerEnabled(); }
    void SetTimerEnabled(bool e) override { qt_.SetTimerEnabled(e); }
    int TimerInterval() override { return qt_.TimerInterval(); }
    void SetTimerInterval(int ms) override { qt_.SetTimerInterval(ms); }

    void ErrorBox(const std::string& text) override {
        std::fprintf(stderr, "error box: %s\n", text.c_str());
        ++errors;
    }
    bool WarningQuestion(const std::string&) override { return true; }
    bool YesNoQuestion(const std::string&) override { return true; }
    bool ChooseFile(std::string& path) override {
        path = file;
        return true;
    }
    bool ShowControlDialog() override { return false; }
    void ProcessEvents() override {
        ++clock_.ticks;
        qt_.ProcessEvents();
    }
    void HandleOneEvent() override {
        ++clock_.ticks;
        qt_.HandleOneEvent();
    }

    std::string file;
    int errors = 0;

  private:
    QtMainForm& qt_;
    tapster::test::VirtualClock& clock_;
};

std::vector<char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

int FlashRun(tapster::ui::TfrmMain& window) {
    tapster::test::VirtualClock clock;
    tapster::board::Board board(tapster::bench::FastAgentBoard());
    ScriptedForm form(window.Form(), clock);
    tapster::frmMain = &form;
    tapster::platform::SetClock(&clock);
    tapster::SetPortBackend(&board);

    const auto dir = std::filesystem::temp_directory_path() / "tapster_gui_flash_run";
    std::filesystem::create_directories(dir);
    tapster::StartDirectory = dir.string();
    auto write = [&](const char* name, size_t size) {
        const std::string path = (dir / name).string();
        std::ofstream out(path, std::ios::binary);
        for (size_t i = 0; i < size; ++i)
            out.put(static_cast<char>((i * 13 + (i >> 12)) & 0xFF));
        return path;
    };
    {
        const auto agent = tapster::test::kFlashAgentBytes();
        std::ofstream(dir / "fl4_trap.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(agent.data()),
                   static_cast<std::streamsize>(agent.size()));
    }
    const std::string image = write("image.bin", 0x200000);
    const std::string back = (dir / "back.bin").string();

    const auto start = std::chrono::steady_clock::now();
    tapster::cmdLoadTrapClick();
    tapster::cmdInstTrapClick();
    tapster::cmdLoadDCUClick();
    form.SetText("lstFlashBase", "60000000");
    form.SetText("txtFromAddr", "60000000");
    form.SetText("txtFlashLen", "200000");
    form.file = image;
    tapster::cmdWriteFlashClick();
    form.file = back;
    tapster::cmdReadToFileClick();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const bool same = ReadAll(image) == ReadAll(back);
    std::printf("GUI: 2 MiB written and read back in %.2f s, read-back %s, log %d lines\n", seconds,
                same ? "equal" : "DIFFERENT", window.Form().LogLineCount());
    tapster::SetPortBackend(nullptr);
    tapster::platform::SetClock(nullptr);
    tapster::frmMain = &window.Form();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return same && form.errors == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool idle = argc > 1 && std::string(argv[1]) == "--idle";
    tapster::ui::TfrmMain window;
    window.show();
    QCoreApplication::processEvents();
    if (idle) {
        QTimer::singleShot(2000, &app, &QCoreApplication::quit);
        const int result = QApplication::exec();
        std::printf("GUI: idle for 2 s\n");
        return result;
    }
    return FlashRun(window);
}
