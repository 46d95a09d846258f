#include "win/control_dialog.h"

#include "ops/dcu_ctrl.h"
#include "win/win_text.h"

#include <vector>

namespace tapster::win {

namespace {

constexpr int kWidth = 205;
constexpr int kHeight = 348;

void Make(HWND dialog, HFONT font, const wchar_t* cls, const std::wstring& text, DWORD style, int x,
          int y, int width, int height, int id, DWORD exStyle = 0) {
    HWND hwnd = CreateWindowExW(
        exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width, height, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void Build(HWND dialog, HFONT font) {
    RECT client{};
    GetClientRect(dialog, &client);
    const int width = client.right - 12;
    // The boxes stand in one column inside a lowered panel.
    const int rowHeight = 19;
    const int panelHeight = rowHeight * static_cast<int>(kControlBits.size()) + 8;
    Make(dialog, font, L"STATIC", L"", SS_SUNKEN, 6, 6, width, panelHeight, -1);
    for (size_t i = 0; i < kControlBits.size(); ++i) {
        const ControlBit& bit = kControlBits[i];
        Make(dialog, font, L"BUTTON", Wide(bit.caption), BS_AUTOCHECKBOX | WS_TABSTOP, 14,
             10 + rowHeight * static_cast<int>(i), width - 12, rowHeight,
             kFirstControlBoxId + static_cast<int>(i));
        CheckDlgButton(dialog, kFirstControlBoxId + static_cast<int>(i),
                       frmControl.BoxChecked(bit.bit) ? BST_CHECKED : BST_UNCHECKED);
    }
    const int buttons = 6 + panelHeight + 8;
    const int half = (width - 6) / 2;
    Make(dialog, font, L"BUTTON", L"Send", BS_DEFPUSHBUTTON | WS_TABSTOP, 6, buttons, half, 25,
         IDOK);
    Make(dialog, font, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 12 + half, buttons, half,
         25, IDCANCEL);
}

struct Start {
    HFONT font;
};

INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        // The dialog's size in pixels, over its owner.
        RECT owner{};
        GetWindowRect(GetParent(dialog), &owner);
        MoveWindow(dialog, owner.left + 60, owner.top + 60, kWidth, kHeight, FALSE);
        Build(dialog, reinterpret_cast<Start*>(lParam)->font);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            for (size_t i = 0; i < kControlBits.size(); ++i)
                frmControl.SetBoxChecked(
                    kControlBits[i].bit,
                    IsDlgButtonChecked(dialog, kFirstControlBoxId + static_cast<int>(i)) ==
                        BST_CHECKED);
            frmControl.cmdSendCtrlClick();
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

// An empty dialog template with the title; the controls are made in WM_INITDIALOG.
std::vector<WORD> Template() {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* head = reinterpret_cast<DLGTEMPLATE*>(words.data());
    head->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    head->cx = 120;
    head->cy = 200;
    words.push_back(0); // no menu
    words.push_back(0); // the standard dialog class
    for (const wchar_t* c = kControlDialogTitle; *c != L'\0'; ++c)
        words.push_back(static_cast<WORD>(*c));
    words.push_back(0);
    return words;
}

} // namespace

bool ExecuteControlDialog(HWND owner, HFONT font) {
    std::vector<WORD> words = Template();
    Start start{font};
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                                   reinterpret_cast<DLGTEMPLATE*>(words.data()),
                                                   owner, &Proc, reinterpret_cast<LPARAM>(&start));
    const bool sent = result == IDOK;
    if (!sent) frmControl.cmdCancelClick();
    return sent;
}

} // namespace tapster::win
