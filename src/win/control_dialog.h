// The control-register dialog frmControl as a Win32 modal dialog: fifteen check boxes for bits 31
// down to 17 of DCU_CONTROL, "Send" and "Cancel". The boxes' state and the composed value live in
// tapster::frmControl; this dialog only shows and edits them.
#pragma once

#include <windows.h>

namespace tapster::win {

// The id of the box for kControlBits[i] is kFirstControlBoxId + i.
inline constexpr int kFirstControlBoxId = 200;
inline constexpr wchar_t kControlDialogTitle[] = L"DCU Control register";

// Shows the boxes as tapster::frmControl holds them and waits for the user. On "Send" the boxes go
// back into tapster::frmControl and its value is composed; true then.
bool ExecuteControlDialog(HWND owner, HFONT font);

} // namespace tapster::win
