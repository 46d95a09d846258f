// The main window frmMain as a native Win32 window: every widget of the widget table placed by the
// layout table, the four pages on a tab control, the log, the progress display and a status bar
// naming the port. Its buttons start the commands of the command table; the commands reach the
// widgets through the Win32Form it owns.
#pragma once

#include "win/win_form.h"

#include <windows.h>

#include <functional>
#include <string>

namespace tapster::win {

class MainWindow {
  public:
    MainWindow() = default;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow();

    // Builds every widget, becomes the window the commands talk to (tapster::frmMain) and runs
    // the start-up handler FormCreate. False when Windows refused to make the window.
    bool Create(HINSTANCE instance);
    HWND Handle() const { return hwnd_; }
    Win32Form& Form() { return form_; }
    // Names what stands behind the port registers, in the status bar.
    void SetBackendName(const std::string& name);

    // Runs one handler. Handlers nest (the Abort button and timer ticks run inside a command's
    // waits); a close asked for meanwhile takes effect when the outermost one has returned.
    void RunCommand(void (*handler)());
    bool CommandRunning() const { return depth_ > 0; }

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Build();
    HWND MakeWidget(const WidgetRow& row, HWND parent);
    void ShowPage(int page);
    void Click(int controlId);
    void RunRow(size_t commandRow);
    HBRUSH Colours(HDC dc, HWND control, bool edit);
    void DrawAbort(const DRAWITEMSTRUCT& item);

    HINSTANCE instance_ = nullptr;
    HWND hwnd_ = nullptr;
    Win32Form form_;
    HFONT font_ = nullptr;
    HFONT bold_ = nullptr;
    HFONT fixed_ = nullptr;
    HFONT abortFont_ = nullptr;
    HBRUSH grey_ = nullptr;
    int depth_ = 0;
    bool closePending_ = false;
};

// The first widget control id; a widget's id is this plus its row in the widget table.
inline constexpr int kFirstWidgetId = 100;

} // namespace tapster::win
