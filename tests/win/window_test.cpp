// The Win32 window on the simulated board (or a remote cable), driven from inside the process as a
// user would: buttons clicked with BM_CLICK, edits written with WM_SETTEXT, every box and dialog
// answered by a second thread, the log read back with GetWindowText.
#include "app/startup.h"
#include "core/widget_table.h"
#include "ops/dcu_ctrl.h"
#include "port/platform.h"
#include "process_state.h"
#include "win/control_dialog.h"
#include "win/main_window.h"
#include "window_working_order.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

namespace tapster::test {
namespace {

namespace fs = std::filesystem;

// The file-name fields of the explorer-style and the old-style open dialog.
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;

// Keeps the first visible dialog-class window (a message box, the file or control dialog).
BOOL CALLBACK FirstBox(HWND hwnd, LPARAM out) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (IsWindowVisible(hwnd) && std::wstring(cls) == L"#32770") {
        *reinterpret_cast<HWND*>(out) = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Answers the boxes and dialogs the window's thread opens, in the order queued.
class Answerer {
  public:
    Answerer(DWORD thread, fs::path dir) : thread_(thread), dir_(std::move(dir)) {
        worker_ = std::thread([this] { Run(); });
    }
    ~Answerer() {
        stop_ = true;
        worker_.join();
    }
    void Queue(const std::vector<std::string>& answers) {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.insert(queue_.end(), answers.begin(), answers.end());
    }
    size_t Pending() {
        std::lock_guard<std::mutex> lock(mutex_);
        return queue_.size();
    }
    std::vector<std::string> unexpected; // texts of boxes nobody expected

  private:
    HWND FindBox() const {
        HWND found = nullptr;
        EnumThreadWindows(thread_, &FirstBox, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    static void Press(HWND box, int id) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
    }
    void Answer(HWND box) {
        std::string answer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!queue_.empty()) {
                answer = queue_.front();
                queue_.pop_front();
            }
        }
        if (answer.rfind("file:", 0) == 0) {
            const std::wstring path = (dir_ / answer.substr(5)).wstring();
            for (int field : {kFileNameCombo, kFileNameEdit})
                SendMessageW(GetDlgItem(box, field), WM_SETTEXT, 0,
                             reinterpret_cast<LPARAM>(path.c_str()));
            Press(box, IDOK);
        } else if (answer == "dialog") {
            SendMessageW(GetDlgItem(box, win::kFirstControlBoxId), BM_CLICK, 0, 0);
            Press(box, IDOK);
        } else if (answer == "no") {
            Press(box, IDNO);
        } else if (answer == "ok") {
            Press(box, IDOK);
        } else {
            wchar_t text[512] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 512);
            unexpected.push_back(std::string(text, text + wcslen(text)));
            Press(box, GetDlgItem(box, IDCANCEL) != nullptr ? IDCANCEL : IDOK);
        }
        for (int i = 0; i < 500 && IsWindow(box) && IsWindowVisible(box); ++i)
            Sleep(10);
    }
    void Run() {
        while (!stop_) {
            Sleep(20);
            if (HWND box = FindBox()) Answer(box);
        }
    }

    DWORD thread_;
    fs::path dir_;
    std::mutex mutex_;
    std::deque<std::string> queue_;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

void Pump(int ms) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (static_cast<int>(end - GetTickCount()) > 0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
}

std::vector<std::string> LogOf(HWND memo) {
    const int length = GetWindowTextLengthW(memo);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(memo, text.data(), length + 1)));
    std::vector<std::string> lines(1);
    for (wchar_t c : text) {
        if (c == L'\n')
            lines.emplace_back();
        else if (c != L'\r')
            lines.back().push_back(static_cast<char>(c));
    }
    return lines;
}

// The page of the tab control that holds a widget, brought to the front as a user would.
void ShowPageOf(win::MainWindow& window, const WidgetRow& row) {
    const WidgetRow* at = &row;
    while (at != nullptr && at->parent != w::shDCU.Name())
        at = FindWidgetRow(at->parent);
    if (at == nullptr) return;
    const std::string_view pages[] = {"shChk", "shFlash", "shDcuRegs", "shOther"};
    for (int i = 0; i < 4; ++i)
        if (pages[i] == at->name) window.Form().SetPosition(w::shDCU, i);
}

TEST(Win32Window, RunsTheUsualWorkingOrderThroughItsWidgets) {
    ResetProcessState();
    // TAPSTER_TEST_START_DIR: a folder that holds fl4_trap.bin already (the unpacked zip).
    const char* given = std::getenv("TAPSTER_TEST_START_DIR");
    const fs::path dir =
        given != nullptr ? fs::path(given) : fs::temp_directory_path() / "tapster_win_window";
    if (given == nullptr) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(fs::path(TAPSTER_SIM_DIR) / "fl4_trap.bin", dir / "fl4_trap.bin");
    }
    // TAPSTER_TEST_PORT names another cable (remote:HOST:PORT, inpout); the simulated board
    // otherwise. The remote cable runs the network's scope of the working order.
    const char* port = std::getenv("TAPSTER_TEST_PORT");
    const bool remote = port != nullptr && std::string(port).rfind("remote:", 0) == 0;
    const WorkingScope scope = remote ? kOverNetwork : kInProcess;
    std::ofstream(dir / "image.bin", std::ios::binary) << WorkingImage(scope);
    fs::current_path(dir);

    WorkingOrderClock clock;
    platform::SetClock(&clock);
    BackendOptions options;
    options.simulate = port == nullptr;
    options.port = port != nullptr ? port : "";
    std::string error;
    std::unique_ptr<PortBackend> backend = CreateBackend(options, error);
    ASSERT_NE(backend, nullptr) << error;

    win::MainWindow window;
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr)));
    ShowWindow(window.Handle(), SW_SHOW);
    Answerer answerer(GetCurrentThreadId(), dir);
    win::Win32Form& form = window.Form();
    bool abortArmed = false;
    clock.atTick = [&] {
        if (abortArmed && AtAgentWait(form)) {
            abortArmed = false;
            SendMessageW(form.Handle(w::cmdCancel), BM_CLICK, 0, 0);
        }
    };

    for (const WorkingStep& step : WorkingOrder(scope)) {
        const WidgetRow* row = FindWidgetRow(step.widget);
        ASSERT_NE(row, nullptr) << step.widget;
        ShowPageOf(window, *row);
        HWND hwnd = form.Handle(step.widget);
        if (step.text != nullptr) {
            const std::wstring text(step.text, step.text + strlen(step.text));
            SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
            continue;
        }
        answerer.Queue(step.answers);
        abortArmed = step.abort;
        SendMessageW(hwnd, BM_CLICK, 0, 0);
        if (step.pumpMs > 0) Pump(step.pumpMs);
        EXPECT_EQ(answerer.Pending(), 0u) << "boxes that never opened after " << step.widget;
        EXPECT_FALSE(abortArmed) << "no wait in " << step.widget;
    }
    clock.atTick = nullptr;
    EXPECT_TRUE(answerer.unexpected.empty()) << answerer.unexpected.front();
    EXPECT_EQ(form.Text(w::lblFlashCode), "Flash IDCODE 0001.2249");
    std::ifstream back(dir / "back.bin", std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(back), {}) == WorkingImage(scope))
        << "the file read back differs from the one written";

    std::vector<std::string> log = LogOf(form.Handle(w::Memo4));
    std::vector<std::string> expected = LogForScope(ReadLogLines(TAPSTER_WORKING_ORDER_LOG), scope);
    MaskIdleWorkspace(log, scope);
    MaskIdleWorkspace(expected, scope);
    if (log != expected) {
        std::ofstream out(dir / "window.log", std::ios::binary);
        for (const std::string& line : log)
            out << line << '\n';
    }
    EXPECT_EQ(log, expected) << "the window's log is in " << (dir / "window.log").string();
    platform::SetClock(nullptr);
    SetPortBackend(nullptr);
}

} // namespace
} // namespace tapster::test
