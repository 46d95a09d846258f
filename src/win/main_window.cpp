#include "win/main_window.h"

#include "ops/command_table.h"
#include "ops/commands.h"
#include "win/control_dialog.h"
#include "win/win_layout.h"
#include "win/win_text.h"

#include <commctrl.h>

namespace tapster::win {

namespace {

constexpr wchar_t kMainClass[] = L"TapsterMain";
constexpr wchar_t kPageClass[] = L"TapsterPage";
constexpr int kFirstRadioId = 1000;
constexpr COLORREF kNavy = RGB(0x00, 0x00, 0x80);
constexpr COLORREF kBlue = RGB(0x00, 0x00, 0xFF);
constexpr COLORREF kRed = RGB(0xFF, 0x00, 0x00);
constexpr COLORREF kDarkRed = RGB(0x80, 0x00, 0x00);
constexpr COLORREF kMonitorGrey = RGB(0xC0, 0xC0, 0xC0);
// The icon in the program's resources.
constexpr int kIconId = 1;

HFONT MakeFont(HWND hwnd, const wchar_t* face, int points, bool bold) {
    HDC dc = GetDC(hwnd);
    const int height = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(hwnd, dc);
    return CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

// Gives a child window the font; a window callback (stdcall on 32-bit x86).
BOOL CALLBACK SetFontOf(HWND child, LPARAM font) {
    SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}

// The row's page: the nearest container that is one of shDCU's pages, if any.
const WidgetRow* PageOf(const WidgetRow& row) {
    const WidgetRow* at = &row;
    while (at != nullptr && !at->parent.empty()) {
        const WidgetRow* parent = FindWidgetRow(at->parent);
        if (parent != nullptr && parent->parent == w::shDCU.Name()) return parent;
        at = parent;
    }
    return nullptr;
}

HWND Child(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, const Place& at,
           int id, DWORD exStyle = 0) {
    return CreateWindowExW(
        exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, at.x, at.y, at.width, at.height,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
}

} // namespace

MainWindow::~MainWindow() {
    if (tapster::frmMain == &form_) tapster::frmMain = nullptr;
    if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    for (HGDIOBJ object :
         {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(bold_), static_cast<HGDIOBJ>(fixed_),
          static_cast<HGDIOBJ>(abortFont_), static_cast<HGDIOBJ>(grey_)})
        if (object != nullptr) DeleteObject(object);
}

bool MainWindow::Create(HINSTANCE instance) {
    instance_ = instance;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_TAB_CLASSES |
                                                        ICC_BAR_CLASSES | ICC_PROGRESS_CLASS |
                                                        ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSEXW main{};
    main.cbSize = sizeof(main);
    main.lpfnWndProc = &MainWindow::Proc;
    main.hInstance = instance;
    main.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconId));
    main.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    main.lpszClassName = kMainClass;
    WNDCLASSEXW page = main;
    page.lpfnWndProc = &MainWindow::PageProc;
    page.hIcon = nullptr;
    page.lpszClassName = kPageClass;
    RegisterClassExW(&main);
    RegisterClassExW(&page);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kMainClass, Wide(kMainWindowCaption).c_str(),
                            style, CW_USEDEFAULT, CW_USEDEFAULT, kMainWindowWidth,
                            kMainWindowHeight, nullptr, nullptr, instance, this);
    if (hwnd_ == nullptr) return false;
    form_.window = hwnd_;
    Build();
    tapster::frmMain = &form_;
    RunCommand(&FormCreate);
    return true;
}

HWND MainWindow::MakeWidget(const WidgetRow& row, HWND parent) {
    const auto index = static_cast<size_t>(&row - kWidgetTable);
    const int id = kFirstWidgetId + static_cast<int>(index);
    const Place& at = kLayout[kLayoutRows[index]];
    const std::wstring caption = Wide(row.caption);
    switch (row.kind) {
    case WidgetKind::Label:
        return Child(parent, L"STATIC", caption, SS_LEFT | SS_NOPREFIX, at, id);
    case WidgetKind::Button:
        if (index == w::cmdCancel.Index())
            return Child(parent, L"BUTTON", caption, BS_OWNERDRAW | WS_TABSTOP, at, id);
        if (index == w::cmdChgCtrl.Index()) {
            HWND button = Child(parent, L"BUTTON", caption, BS_ICON | WS_TABSTOP, at, id);
            auto* icon = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(32516), IMAGE_ICON,
                                                       16, 16, LR_SHARED)); // info
            SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
            return button;
        }
        return Child(parent, L"BUTTON", caption, BS_PUSHBUTTON | WS_TABSTOP, at, id);
    case WidgetKind::Edit:
        return Child(parent, L"EDIT", caption, ES_AUTOHSCROLL | WS_TABSTOP, at, id,
                     WS_EX_CLIENTEDGE);
    case WidgetKind::Combo:
        return Child(parent, L"COMBOBOX", L"",
                     CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, at, id);
    case WidgetKind::Check:
        return Child(parent, L"BUTTON", caption, BS_AUTOCHECKBOX | WS_TABSTOP, at, id);
    case WidgetKind::Slider:
        return Child(parent, TRACKBAR_CLASSW, L"", TBS_AUTOTICKS | TBS_BOTTOM | WS_TABSTOP, at, id);
    case WidgetKind::UpDown:
        return Child(parent, UPDOWN_CLASSW, L"", UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                     at, id);
    case WidgetKind::Progress:
        return Child(parent, PROGRESS_CLASSW, L"", 0, at, id);
    case WidgetKind::Radio: {
        HWND group = Child(parent, L"BUTTON", caption, BS_GROUPBOX, at, id);
        for (size_t r = 0; r < row.items.size(); ++r) {
            const Place radio{w::selBrkCond, at.x + 8, at.y + 20 + 22 * static_cast<int>(r),
                              at.width - 16, 18};
            form_.radios.push_back(Child(parent, L"BUTTON", Wide(row.items[r]),
                                         BS_AUTORADIOBUTTON | (r == 0 ? WS_GROUP | WS_TABSTOP : 0),
                                         radio, kFirstRadioId + static_cast<int>(r)));
        }
        return group;
    }
    case WidgetKind::List:
        return Child(parent, L"LISTBOX", L"",
                     LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, at, id,
                     WS_EX_CLIENTEDGE);
    case WidgetKind::Container:
        if (index == w::Memo4.Index()) {
            // The log: nothing but the commands writes it, and nothing ever trims it.
            HWND memo = Child(parent, L"EDIT", L"",
                              ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                                  WS_VSCROLL | WS_HSCROLL,
                              at, id, WS_EX_CLIENTEDGE);
            SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);
            return memo;
        }
        if (index == w::shDCU.Index())
            return Child(parent, WC_TABCONTROLW, L"", WS_CLIPCHILDREN | WS_TABSTOP, at, id,
                         WS_EX_CONTROLPARENT);
        if (row.parent == w::shDCU.Name()) {
            // Placed over the tab's display area once the tabs are complete.
            HWND hwnd =
                Child(parent, kPageClass, L"", WS_CLIPSIBLINGS, at, id, WS_EX_CONTROLPARENT);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            return hwnd;
        }
        if (row.caption.empty()) return Child(parent, L"STATIC", L"", SS_ETCHEDFRAME, at, id);
        return Child(parent, L"BUTTON", caption, BS_GROUPBOX, at, id);
    }
    return nullptr;
}

void MainWindow::Build() {
    font_ = MakeFont(hwnd_, L"MS Sans Serif", 8, false);
    bold_ = MakeFont(hwnd_, L"MS Sans Serif", 8, true);
    fixed_ = MakeFont(hwnd_, L"Courier New", 9, false);
    abortFont_ = MakeFont(hwnd_, L"MS Sans Serif", 12, true);
    grey_ = CreateSolidBrush(kMonitorGrey);

    for (const WidgetRow& row : kWidgetTable) {
        const auto index = static_cast<size_t>(&row - kWidgetTable);
        HWND parent = hwnd_;
        if (row.parent == w::shDCU.Name())
            parent = form_.handles[w::shDCU.Index()];
        else if (const WidgetRow* page = PageOf(row))
            parent = form_.handles[static_cast<size_t>(page - kWidgetTable)];
        form_.handles[index] = MakeWidget(row, parent);
        if (row.parent == w::shDCU.Name()) {
            int page = 0;
            while (kPages[page].Index() != index)
                ++page;
            const std::wstring title = Wide(kPageTitles[page]);
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = const_cast<wchar_t*>(title.c_str());
            SendMessageW(form_.handles[w::shDCU.Index()], TCM_INSERTITEMW,
                         static_cast<WPARAM>(page), reinterpret_cast<LPARAM>(&item));
        }
    }
    for (const StaticText& text : kStaticTexts) {
        HWND page = form_.handles[text.page.Index()];
        const Place at{text.page, text.x, text.y, text.width, text.height};
        HWND hwnd = text.frame
                        ? Child(page, L"BUTTON", Wide(text.text), BS_GROUPBOX, at, -1)
                        : Child(page, L"STATIC", Wide(text.text), SS_LEFT | SS_NOPREFIX, at, -1);
        SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }

    form_.statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                      hwnd_, nullptr, instance_, nullptr);
    const int parts[] = {200, -1};
    SendMessageW(form_.statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));

    // The font, then each widget's start state from its row.
    EnumChildWindows(hwnd_, &SetFontOf, reinterpret_cast<LPARAM>(font_));
    auto setFont = [](HWND hwnd, HFONT font) {
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    };
    for (WidgetId id : {w::Label4, w::lblSpeed, w::cmdStartDCU})
        setFont(form_.handles[id.Index()], bold_);
    for (WidgetId id :
         {w::lblAdr, w::txtStatus, w::txtControl, w::txtWPAdr, w::txtJTFrom, w::txtJTIptr})
        setFont(form_.handles[id.Index()], fixed_);

    for (size_t i = 0; i < kWidgetCount; ++i) {
        const WidgetRow& row = kWidgetTable[i];
        HWND hwnd = form_.handles[i];
        switch (row.kind) {
        case WidgetKind::Check:
            SendMessageW(hwnd, BM_SETCHECK, row.checked ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case WidgetKind::Combo:
            for (std::string_view item : row.items)
                SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
            SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(row.position), 0);
            SetWindowTextW(hwnd, Wide(row.caption).c_str());
            break;
        case WidgetKind::List:
            for (std::string_view item : row.items)
                SendMessageW(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
            SendMessageW(hwnd, LB_SETCURSEL, static_cast<WPARAM>(row.position), 0);
            break;
        case WidgetKind::Slider:
            SendMessageW(hwnd, TBM_SETRANGEMIN, FALSE, row.minimum);
            SendMessageW(hwnd, TBM_SETRANGEMAX, FALSE, row.maximum);
            SendMessageW(hwnd, TBM_SETTICFREQ, static_cast<WPARAM>(row.tick), 0);
            SendMessageW(hwnd, TBM_SETPOS, TRUE, row.position);
            break;
        case WidgetKind::UpDown: {
            SendMessageW(hwnd, UDM_SETBUDDY,
                         reinterpret_cast<WPARAM>(form_.handles[w::txtPoll.Index()]), 0);
            SendMessageW(hwnd, UDM_SETRANGE32, static_cast<WPARAM>(row.minimum), row.maximum);
            UDACCEL step{0, static_cast<UINT>(row.tick)};
            SendMessageW(hwnd, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&step));
            SendMessageW(hwnd, UDM_SETPOS32, 0, row.position);
            break;
        }
        case WidgetKind::Progress:
            SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(row.minimum), row.maximum);
            SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(row.position), 0);
            break;
        case WidgetKind::Radio:
            if (row.position >= 0 && static_cast<size_t>(row.position) < form_.radios.size())
                SendMessageW(form_.radios[static_cast<size_t>(row.position)], BM_SETCHECK,
                             BST_CHECKED, 0);
            break;
        default:
            break;
        }
    }
    form_.onChange = [this](WidgetId id) {
        if (const CommandRow* row = FindCommand(id.Name(), CommandTrigger::Change))
            RunRow(static_cast<size_t>(row - kCommandTable));
    };
    // The pages fill the tab's display area, known once the tabs have their titles and font.
    HWND tabs = form_.handles[w::shDCU.Index()];
    RECT area{};
    GetClientRect(tabs, &area);
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    for (WidgetId page : kPages)
        MoveWindow(form_.handles[page.Index()], area.left, area.top, area.right - area.left,
                   area.bottom - area.top, FALSE);
    form_.controlDialog = [this] { return ExecuteControlDialog(hwnd_, font_); };
    form_.ResetStates();
    ShowPage(0);
}

void MainWindow::ShowPage(int page) {
    for (size_t p = 0; p < std::size(kPages); ++p)
        ShowWindow(form_.handles[kPages[p].Index()],
                   static_cast<int>(p) == page ? SW_SHOW : SW_HIDE);
}

void MainWindow::SetBackendName(const std::string& name) {
    SendMessageW(form_.statusBar, SB_SETTEXTW, 0,
                 reinterpret_cast<LPARAM>(Wide("Port: " + name).c_str()));
}

void MainWindow::RunCommand(void (*handler)()) {
    ++depth_;
    handler();
    --depth_;
    if (depth_ == 0 && closePending_) {
        closePending_ = false;
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
}

void MainWindow::RunRow(size_t commandRow) {
    const CommandRow& row = kCommandTable[commandRow];
    // No command runs inside another's wait: it would break into that command's link traffic.
    if (RefusedWhileBusy(row) && CommandRunning()) {
        MessageBeep(MB_OK);
        form_.ShowStatus("Another command is running: the click was refused (wait for it to end, "
                         "or press \"Abort !\" where it is shown)");
        return;
    }
    RunCommand(row.handler);
}

void MainWindow::Click(int controlId) {
    const int index = controlId - kFirstWidgetId;
    if (index < 0 || static_cast<size_t>(index) >= kWidgetCount) return;
    if (const CommandRow* row =
            FindCommand(kWidgetTable[static_cast<size_t>(index)].name, CommandTrigger::Click))
        RunRow(static_cast<size_t>(row - kCommandTable));
}

HBRUSH MainWindow::Colours(HDC dc, HWND control, bool edit) {
    const int id = GetDlgCtrlID(control) - kFirstWidgetId;
    const auto index = static_cast<size_t>(id);
    const bool widget = id >= 0 && index < kWidgetCount;
    if (widget && (index == w::Label4.Index() || index == w::lblSpeed.Index()))
        SetTextColor(dc, kNavy);
    if (widget && index == w::lblAdr.Index()) SetTextColor(dc, kBlue);
    if (widget) {
        for (WidgetId monitor :
             {w::txtStatus, w::txtControl, w::txtWPAdr, w::txtJTFrom, w::txtJTIptr}) {
            if (monitor.Index() != index) continue;
            SetTextColor(dc, kBlue);
            SetBkColor(dc, kMonitorGrey);
            return grey_;
        }
    }
    if (!widget && GetWindowTextLengthW(control) > 60) SetTextColor(dc, kDarkRed); // the warning
    if (edit) return GetSysColorBrush(COLOR_WINDOW);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return GetSysColorBrush(COLOR_BTNFACE);
}

void MainWindow::DrawAbort(const DRAWITEMSTRUCT& item) {
    RECT area = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    DrawFrameControl(item.hDC, &area, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));
    auto* icon = static_cast<HICON>(
        LoadImageW(nullptr, MAKEINTRESOURCEW(32513), IMAGE_ICON, 24, 24, LR_SHARED)); // error
    const int top = (area.bottom - area.top - 24) / 2;
    DrawIconEx(item.hDC, area.left + 8, area.top + top, icon, 24, 24, 0, nullptr, DI_NORMAL);
    area.left += 36;
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, disabled ? GetSysColor(COLOR_GRAYTEXT) : kRed);
    HGDIOBJ old = SelectObject(item.hDC, abortFont_);
    const std::wstring text = Wide(w::cmdCancel.Row().caption);
    wchar_t shown[64] = {};
    GetWindowTextW(item.hwndItem, shown, 64);
    DrawTextW(item.hDC, shown[0] != L'\0' ? shown : text.c_str(), -1, &area,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(item.hDC, old);
    if ((item.itemState & ODS_FOCUS) != 0) {
        RECT focus = item.rcItem;
        InflateRect(&focus, -4, -4);
        DrawFocusRect(item.hDC, &focus);
    }
}

LRESULT CALLBACK MainWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr || self->hwnd_ == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

// A page passes what its controls tell it on to the main window.
LRESULT CALLBACK MainWindow::PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_DRAWITEM:
        if (auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
            return self->Handle(message, wParam, lParam);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) Click(LOWORD(wParam));
        return 0;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == form_.handles[w::trkDelay.Index()])
            form_.NoteMoved(w::trkDelay);
        return 0;
    case WM_VSCROLL:
        if (reinterpret_cast<HWND>(lParam) == form_.handles[w::trkPoll.Index()])
            form_.NoteMoved(w::trkPoll);
        return 0;
    case WM_NOTIFY: {
        const auto* note = reinterpret_cast<const NMHDR*>(lParam);
        if (note->hwndFrom == form_.handles[w::shDCU.Index()] && note->code == TCN_SELCHANGE)
            ShowPage(static_cast<int>(SendMessageW(note->hwndFrom, TCM_GETCURSEL, 0, 0)));
        return 0;
    }
    case WM_TIMER:
        if (wParam == kTimer1 && form_.TimerEnabled()) RunCommand(&Timer1Timer);
        if (wParam == kFlushTimer) form_.FlushLabels();
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return reinterpret_cast<LRESULT>(
            Colours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), false));
    case WM_CTLCOLOREDIT:
        return reinterpret_cast<LRESULT>(
            Colours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), true));
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->hwndItem == form_.handles[w::cmdCancel.Index()]) DrawAbort(*item);
        return TRUE;
    }
    case WM_SIZE:
        if (form_.statusBar != nullptr) SendMessageW(form_.statusBar, WM_SIZE, 0, 0);
        return 0;
    case WM_CLOSE:
        if (CommandRunning()) {
            // A command is inside one of its waits below this call. Ask it to stop as the Abort
            // button would, and close once it has unwound.
            RequestStop();
            closePending_ = true;
            return 0;
        }
        form_.SetTimerEnabled(false);
        DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

} // namespace tapster::win
