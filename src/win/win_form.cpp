#include "win/win_form.h"

#include "win/win_text.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace tapster::win {

namespace {

std::wstring WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
    return text;
}

LRESULT Send(HWND hwnd, UINT message, WPARAM w = 0, LPARAM l = 0) {
    return SendMessageW(hwnd, message, w, l);
}

template <class T> LPARAM Ptr(T* p) {
    return reinterpret_cast<LPARAM>(p);
}

std::string ItemText(HWND hwnd, bool combo, int index) {
    const LRESULT length = Send(hwnd, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, index);
    if (length < 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    Send(hwnd, combo ? CB_GETLBTEXT : LB_GETTEXT, index, Ptr(text.data()));
    text.resize(static_cast<size_t>(length));
    return Narrow(text);
}

} // namespace

size_t Win32Form::Index(std::string_view name) const {
    const WidgetRow* row = FindWidgetRow(name);
    if (row == nullptr) {
        std::fprintf(stderr, "internal error: no widget named '%.*s'\n",
                     static_cast<int>(name.size()), name.data());
        std::abort();
    }
    return static_cast<size_t>(row - kWidgetTable);
}

HWND Win32Form::Handle(std::string_view name) const {
    return handles[Index(name)];
}

void Win32Form::ResetStates() {
    for (size_t i = 0; i < kWidgetCount; ++i) {
        visible_[i] = !kWidgetTable[i].hidden;
        enabled_[i] = true;
        ticks_[i] = kWidgetTable[i].tick;
        seen_[i] = kWidgetTable[i].position;
        labels_[i] = std::string(kWidgetTable[i].caption);
        shown_[i] = true;
    }
    Apply();
}

void Win32Form::Apply() {
    std::array<bool, kWidgetCount> shown{};
    std::array<bool, kWidgetCount> usable{};
    // Containers come before what they hold in the table, so a row's container is settled first.
    for (size_t i = 0; i < kWidgetCount; ++i) {
        shown[i] = visible_[i];
        usable[i] = enabled_[i];
        if (const WidgetRow* parent = FindWidgetRow(kWidgetTable[i].parent)) {
            const auto p = static_cast<size_t>(parent - kWidgetTable);
            shown[i] = shown[i] && shown[p];
            usable[i] = usable[i] && usable[p];
        }
        HWND hwnd = handles[i];
        if (hwnd == nullptr) continue;
        const WidgetRow& row = kWidgetTable[i];
        // A page's own visibility is its tab's; the tab control shows the page in front.
        const bool page = row.parent == w::shDCU.Name();
        if (!page) ShowWindow(hwnd, shown[i] ? SW_SHOWNA : SW_HIDE);
        EnableWindow(hwnd, usable[i]);
        if (&row == &w::selBrkCond.Row()) {
            for (HWND radio : radios) {
                ShowWindow(radio, shown[i] ? SW_SHOWNA : SW_HIDE);
                EnableWindow(radio, usable[i]);
            }
        }
        if (&row == &w::txtPoll.Row()) EnableWindow(handles[w::trkPoll.Index()], usable[i]);
    }
}

std::string Win32Form::Text(std::string_view name) {
    const size_t i = Index(name);
    if (kWidgetTable[i].kind == WidgetKind::Label) return labels_[i];
    return Narrow(WindowText(handles[i]));
}

// Labels change once per block in the block loops: the text is kept here and shown at most once
// per event period, and at the latest by the flush timer.
void Win32Form::SetLabel(size_t i, const std::string& text) {
    if (labels_[i] == text) return;
    labels_[i] = text;
    shown_[i] = false;
    if (Due(lastLabels_)) return FlushLabels();
    if (!flushTimer_) flushTimer_ = SetTimer(window, kFlushTimer, kEventPeriodMs, nullptr) != 0;
}

void Win32Form::FlushLabels() {
    for (size_t i = 0; i < kWidgetCount; ++i) {
        if (shown_[i]) continue;
        shown_[i] = true;
        SetWindowTextW(handles[i], Wide(labels_[i]).c_str());
    }
    if (flushTimer_) KillTimer(window, kFlushTimer);
    flushTimer_ = false;
}

void Win32Form::SetText(std::string_view name, const std::string& text) {
    const size_t i = Index(name);
    if (i == w::txtPoll.Index()) {
        // Writing the buddy edit moves the up-down, as the position is what the edit shows.
        char* end = nullptr;
        const long value = std::strtol(text.c_str(), &end, 10);
        if (!text.empty() && end != nullptr && *end == '\0')
            SetPosition(w::trkPoll, static_cast<int>(value));
        return;
    }
    if (kWidgetTable[i].kind == WidgetKind::Label) return SetLabel(i, text);
    SetWindowTextW(handles[i], Wide(text).c_str());
}

bool Win32Form::Checked(std::string_view name) {
    return Send(Handle(name), BM_GETCHECK) == BST_CHECKED;
}

void Win32Form::SetChecked(std::string_view name, bool checked) {
    Send(Handle(name), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
}

int Win32Form::RawPosition(size_t i) const {
    HWND hwnd = handles[i];
    switch (kWidgetTable[i].kind) {
    case WidgetKind::Slider:
        return static_cast<int>(Send(hwnd, TBM_GETPOS));
    case WidgetKind::UpDown:
        return static_cast<int>(Send(hwnd, UDM_GETPOS32));
    case WidgetKind::Progress:
        return progress_;
    case WidgetKind::Combo:
        return static_cast<int>(Send(hwnd, CB_GETCURSEL));
    case WidgetKind::List:
        return static_cast<int>(Send(hwnd, LB_GETCURSEL));
    case WidgetKind::Radio:
        for (size_t r = 0; r < radios.size(); ++r)
            if (Send(radios[r], BM_GETCHECK) == BST_CHECKED) return static_cast<int>(r);
        return -1;
    case WidgetKind::Container:
        if (i == w::shDCU.Index()) return static_cast<int>(Send(hwnd, TCM_GETCURSEL));
        return 0;
    default:
        return 0;
    }
}

int Win32Form::Position(std::string_view name) {
    return RawPosition(Index(name));
}

bool Win32Form::NoteMoved(WidgetId id) {
    const int now = RawPosition(id.Index());
    if (now == seen_[id.Index()]) return false;
    seen_[id.Index()] = now;
    if (onChange) onChange(id);
    return true;
}

void Win32Form::Changed(size_t i, int before) {
    const WidgetKind kind = kWidgetTable[i].kind;
    if (kind != WidgetKind::Slider && kind != WidgetKind::UpDown) return;
    const int now = RawPosition(i);
    seen_[i] = now;
    if (now != before && onChange)
        onChange(kWidgetTable[i].name == w::trkDelay.Name() ? w::trkDelay : w::trkPoll);
}

void Win32Form::SetPosition(std::string_view name, int position) {
    const size_t i = Index(name);
    HWND hwnd = handles[i];
    const int before = RawPosition(i);
    switch (kWidgetTable[i].kind) {
    case WidgetKind::Slider:
        Send(hwnd, TBM_SETPOS, TRUE, position);
        break;
    case WidgetKind::UpDown:
        Send(hwnd, UDM_SETPOS32, 0, position);
        break;
    case WidgetKind::Progress: {
        // The bar ignores values outside its range; a progress past the end shows as full.
        const int low = progressLow_;
        const int high = std::max(low, progressHigh_);
        progress_ = std::clamp(position, low, high);
        // The bar is drawn again only when it grows by a step that shows (every paint of it costs
        // a trip to the window system, and a block loop advances it thousands of times).
        const int64_t span = std::max(1, high - low);
        const int step =
            static_cast<int>((static_cast<int64_t>(progress_ - low) * kProgressSteps) / span);
        if (step != progressStep_ || progress_ == low || progress_ == high) {
            progressStep_ = step;
            Send(hwnd, PBM_SETPOS, static_cast<WPARAM>(progress_));
        }
        break;
    }
    case WidgetKind::Combo: {
        const auto count = static_cast<int>(Send(hwnd, CB_GETCOUNT));
        Send(hwnd, CB_SETCURSEL, position >= 0 && position < count ? position : -1);
        break;
    }
    case WidgetKind::List: {
        const auto count = static_cast<int>(Send(hwnd, LB_GETCOUNT));
        Send(hwnd, LB_SETCURSEL, position >= 0 && position < count ? position : -1);
        break;
    }
    case WidgetKind::Radio:
        for (size_t r = 0; r < radios.size(); ++r)
            Send(radios[r], BM_SETCHECK,
                 static_cast<int>(r) == position ? BST_CHECKED : BST_UNCHECKED);
        break;
    case WidgetKind::Container:
        if (i == w::shDCU.Index()) {
            Send(hwnd, TCM_SETCURSEL, position);
            NMHDR change{hwnd, static_cast<UINT_PTR>(GetDlgCtrlID(hwnd)), TCN_SELCHANGE};
            Send(window, WM_NOTIFY, change.idFrom, Ptr(&change));
        }
        break;
    default:
        break;
    }
    Changed(i, before);
}

// The range of a slider, up-down or progress bar; 0 to 0 for any other widget.
std::pair<int, int> Win32Form::Range(size_t i) const {
    HWND hwnd = handles[i];
    switch (kWidgetTable[i].kind) {
    case WidgetKind::Slider:
        return {static_cast<int>(Send(hwnd, TBM_GETRANGEMIN)),
                static_cast<int>(Send(hwnd, TBM_GETRANGEMAX))};
    case WidgetKind::UpDown: {
        INT low = 0;
        INT high = 0;
        Send(hwnd, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), Ptr(&high));
        return {low, high};
    }
    case WidgetKind::Progress:
        return {progressLow_, progressHigh_};
    default:
        return {0, 0};
    }
}

int Win32Form::Minimum(std::string_view name) {
    return Range(Index(name)).first;
}

int Win32Form::Maximum(std::string_view name) {
    return Range(Index(name)).second;
}

void Win32Form::SetRange(std::string_view name, int minimum, int maximum) {
    const size_t i = Index(name);
    HWND hwnd = handles[i];
    const int before = RawPosition(i);
    switch (kWidgetTable[i].kind) {
    case WidgetKind::Slider:
        Send(hwnd, TBM_SETRANGEMIN, FALSE, minimum);
        Send(hwnd, TBM_SETRANGEMAX, TRUE, maximum);
        // The tick marks follow the new range.
        Send(hwnd, TBM_SETTICFREQ, static_cast<WPARAM>(ticks_[i]));
        break;
    case WidgetKind::UpDown: {
        Send(hwnd, UDM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
        // The up-down keeps an out-of-range position; the value moves into the range as a spin
        // box's does.
        const int inside = std::clamp(before, minimum, std::max(minimum, maximum));
        if (inside != before) Send(hwnd, UDM_SETPOS32, 0, inside);
        break;
    }
    case WidgetKind::Progress:
        Send(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
        progressLow_ = minimum;
        progressHigh_ = maximum;
        progress_ = std::clamp(progress_, minimum, std::max(minimum, maximum));
        progressStep_ = -1;
        break;
    default:
        return;
    }
    Changed(i, before);
}

int Win32Form::TickInterval(std::string_view name) {
    return ticks_[Index(name)];
}

void Win32Form::SetTickInterval(std::string_view name, int interval) {
    const size_t i = Index(name);
    ticks_[i] = interval;
    if (kWidgetTable[i].kind == WidgetKind::Slider)
        Send(handles[i], TBM_SETTICFREQ, static_cast<WPARAM>(interval));
    if (kWidgetTable[i].kind == WidgetKind::UpDown) {
        UDACCEL step{0, static_cast<UINT>(std::max(interval, 1))};
        Send(handles[i], UDM_SETACCEL, 1, Ptr(&step));
    }
}

std::vector<std::string> Win32Form::Items(std::string_view name) {
    const size_t i = Index(name);
    HWND hwnd = handles[i];
    std::vector<std::string> items;
    switch (kWidgetTable[i].kind) {
    case WidgetKind::Combo:
    case WidgetKind::List: {
        const bool combo = kWidgetTable[i].kind == WidgetKind::Combo;
        const auto count = static_cast<int>(Send(hwnd, combo ? CB_GETCOUNT : LB_GETCOUNT));
        for (int n = 0; n < count; ++n)
            items.push_back(ItemText(hwnd, combo, n));
        break;
    }
    case WidgetKind::Radio:
        for (HWND radio : radios)
            items.push_back(Narrow(WindowText(radio)));
        break;
    default:
        break;
    }
    return items;
}

void Win32Form::AddItem(std::string_view name, const std::string& text) {
    const size_t i = Index(name);
    const std::wstring item = Wide(text);
    if (kWidgetTable[i].kind == WidgetKind::Combo) {
        // Adding an item leaves the edit text alone.
        const std::wstring shown = WindowText(handles[i]);
        Send(handles[i], CB_ADDSTRING, 0, Ptr(item.c_str()));
        if (WindowText(handles[i]) != shown) SetWindowTextW(handles[i], shown.c_str());
    } else if (kWidgetTable[i].kind == WidgetKind::List) {
        Send(handles[i], LB_ADDSTRING, 0, Ptr(item.c_str()));
    }
}

void Win32Form::SetItem(std::string_view name, int index, const std::string& text) {
    const size_t i = Index(name);
    HWND hwnd = handles[i];
    const std::wstring item = Wide(text);
    const bool combo = kWidgetTable[i].kind == WidgetKind::Combo;
    if (!combo && kWidgetTable[i].kind != WidgetKind::List) return;
    const auto count = static_cast<int>(Send(hwnd, combo ? CB_GETCOUNT : LB_GETCOUNT));
    if (index < 0 || index >= count) return;
    const int selected = RawPosition(i);
    const std::wstring shown = WindowText(hwnd);
    Send(hwnd, combo ? CB_DELETESTRING : LB_DELETESTRING, static_cast<WPARAM>(index));
    Send(hwnd, combo ? CB_INSERTSTRING : LB_INSERTSTRING, static_cast<WPARAM>(index),
         Ptr(item.c_str()));
    Send(hwnd, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(selected));
    if (combo && selected != index) SetWindowTextW(hwnd, shown.c_str());
}

void Win32Form::DeleteItem(std::string_view name, int index) {
    const size_t i = Index(name);
    HWND hwnd = handles[i];
    const bool combo = kWidgetTable[i].kind == WidgetKind::Combo;
    if (!combo && kWidgetTable[i].kind != WidgetKind::List) return;
    const auto count = static_cast<int>(Send(hwnd, combo ? CB_GETCOUNT : LB_GETCOUNT));
    if (index < 0 || index >= count) return;
    Send(hwnd, combo ? CB_DELETESTRING : LB_DELETESTRING, static_cast<WPARAM>(index));
    // Like a list box: the selection goes away with the deleted item.
    if (!combo) Send(hwnd, LB_SETCURSEL, static_cast<WPARAM>(-1));
}

bool Win32Form::Visible(std::string_view name) {
    return visible_[Index(name)];
}

void Win32Form::SetVisible(std::string_view name, bool visible) {
    visible_[Index(name)] = visible;
    Apply();
}

bool Win32Form::Enabled(std::string_view name) {
    return enabled_[Index(name)];
}

void Win32Form::SetEnabled(std::string_view name, bool enabled) {
    enabled_[Index(name)] = enabled;
    Apply();
}

void Win32Form::Repaint(std::string_view name) {
    // Painted now when the last paint is a moment ago, else with the next events.
    if (!Due(lastRepaint_)) return;
    FlushLabels();
    RedrawWindow(Handle(name), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void Win32Form::LogLine(const std::string& line) {
    HWND memo = handles[w::Memo4.Index()];
    const std::wstring text = (log_.empty() ? L"" : L"\r\n") + Wide(line);
    const int end = GetWindowTextLengthW(memo);
    Send(memo, EM_SETSEL, static_cast<WPARAM>(end), end);
    Send(memo, EM_REPLACESEL, FALSE, Ptr(text.c_str()));
    log_.push_back(line);
}

std::string Win32Form::LastLogLine() {
    return log_.empty() ? std::string() : log_.back();
}

void Win32Form::ReplaceLastLogLine(const std::string& line) {
    if (log_.empty()) return LogLine(line);
    HWND memo = handles[w::Memo4.Index()];
    const int end = GetWindowTextLengthW(memo);
    const std::string& old = log_.back();
    if (line.rfind(old, 0) == 0) {
        // The agent wait grows its line one dot at a time: add only the new tail.
        const std::wstring tail = Wide(std::string_view(line).substr(old.size()));
        Send(memo, EM_SETSEL, static_cast<WPARAM>(end), end);
        Send(memo, EM_REPLACESEL, FALSE, Ptr(tail.c_str()));
    } else {
        const auto start = end - static_cast<int>(Wide(old).size());
        const std::wstring text = Wide(line);
        Send(memo, EM_SETSEL, static_cast<WPARAM>(start), end);
        Send(memo, EM_REPLACESEL, FALSE, Ptr(text.c_str()));
    }
    log_.back() = line;
}

int Win32Form::Box(const std::string& text, UINT style) {
    FlushLabels();
    return MessageBoxW(window, Wide(text).c_str(), L"Tapster", style | MB_TASKMODAL);
}

void Win32Form::ErrorBox(const std::string& text) {
    Box(text, MB_ICONERROR | MB_OK);
}

void Win32Form::ErrorBoxWithDetail(const std::string& text,
                                   const std::optional<std::string>& detail) {
    // The box keeps its fixed text; why it came goes underneath, as the log stays untouched.
    Box(detail ? text + "\n\n" + *detail : text, MB_ICONERROR | MB_OK);
}

void Win32Form::ShowStatus(const std::string& text) {
    if (statusBar != nullptr) Send(statusBar, SB_SETTEXTW, 1, Ptr(Wide(text).c_str()));
}

bool Win32Form::WarningQuestion(const std::string& text) {
    return Box(text, MB_ICONWARNING | MB_OKCANCEL | MB_DEFBUTTON1) == IDOK;
}

bool Win32Form::YesNoQuestion(const std::string& text) {
    return Box(text, MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON1) == IDYES;
}

bool Win32Form::ChooseFile(std::string& path) {
    // The buffer starts with the last choice, so the dialog opens in the folder the user went to.
    std::wstring buffer = lastFile_;
    buffer.resize(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window;
    dialog.lpstrFilter = L"All files (*.*)\0*.*\0";
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = L"Open";
    // "Read to File" names a file that does not exist yet; the start directory never moves.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
    FlushLabels();
    if (!GetOpenFileNameW(&dialog)) return false;
    const std::wstring chosen = buffer.c_str();
    if (chosen.empty()) return false;
    lastFile_ = chosen;
    const std::string narrow = NarrowPath(chosen);
    if (narrow.empty()) {
        ErrorBox("The file name " + Narrow(chosen) +
                 " cannot be used: choose a file whose path "
                 "has only characters of this system's code page.");
        return false;
    }
    path = narrow;
    return true;
}

bool Win32Form::Due(DWORD& last) {
    // The block loops ask for events and repaints once per block, thousands of times a second;
    // fifty times a second keeps the window as alive to the eye, and each queue look-up and paint
    // costs a trip to the window system.
    const DWORD now = GetTickCount();
    if (now - last < kEventPeriodMs) return false;
    last = now;
    return true;
}

void Win32Form::ProcessEvents() {
    if (!Due(lastEvents_)) return;
    FlushLabels();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The outer loop ends the program; leave the quit for it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32Form::HandleOneEvent() {
    if (!Due(lastEvents_)) return;
    FlushLabels();
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return;
    if (message.message == WM_QUIT) return PostQuitMessage(static_cast<int>(message.wParam));
    if (IsDialogMessageW(window, &message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void Win32Form::SetTimerEnabled(bool enabled) {
    if (enabled == timerEnabled_) return; // enabling a running timer does not restart it
    timerEnabled_ = enabled;
    if (enabled)
        SetTimer(window, kTimer1, static_cast<UINT>(timerInterval_), nullptr);
    else
        KillTimer(window, kTimer1);
}

void Win32Form::SetTimerInterval(int ms) {
    timerInterval_ = ms;
    if (timerEnabled_) SetTimer(window, kTimer1, static_cast<UINT>(ms), nullptr);
}

} // namespace tapster::win
