// The program Tapcheck on Windows: the port backend from the command line, the main window (whose
// creation runs the start-up measurements), then the message loop until the window closes.
#include "app/window_arguments.h"
#include "win/main_window.h"
#include "win/win_text.h"

#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Standard output or error when the program was started with one (a console redirect, a test),
// else nullptr: a double-clicked program has none.
HANDLE StandardHandle(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return GetFileType(handle) == FILE_TYPE_UNKNOWN ? nullptr : handle;
}

void Write(HANDLE handle, const std::string& text) {
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Help and the version: on standard output when there is one, else in a message box.
int Tell(const std::string& text) {
    if (HANDLE out = StandardHandle(STD_OUTPUT_HANDLE)) {
        Write(out, text);
        return 0;
    }
    MessageBoxW(nullptr, tapster::win::Wide(text).c_str(), L"Tapster", MB_ICONINFORMATION | MB_OK);
    return 0;
}

// A start-up failure goes where the user looks: standard error when there is one, else a box.
int Refuse(const std::string& message) {
    if (HANDLE err = StandardHandle(STD_ERROR_HANDLE)) {
        Write(err, "tapcheck: " + message + "\n");
        return tapster::kBadWindowStart;
    }
    MessageBoxW(nullptr, tapster::win::Wide(message).c_str(), L"Tapster", MB_ICONERROR | MB_OK);
    return tapster::kBadWindowStart;
}

std::vector<std::string> Arguments() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i)
        args.push_back(tapster::win::Narrow(wide[i]));
    if (wide != nullptr) LocalFree(wide);
    return args;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    const tapster::WindowArguments start = tapster::ParseWindowArguments(Arguments());
    if (start.action == tapster::WindowArguments::Action::kTell) return Tell(start.text);
    if (start.action == tapster::WindowArguments::Action::kRefuse) return Refuse(start.text);
    // The start directory is where fl4_trap.bin is read and intRom.bin written, whatever its name.
    const bool reachable = tapster::win::MakeStartDirectoryNarrow();
    std::string error;
    std::unique_ptr<tapster::PortBackend> backend = tapster::CreateBackend(start.options, error);
    if (!backend) return Refuse(error);

    int result = 0;
    {
        tapster::win::MainWindow frmMain;
        if (!frmMain.Create(instance)) return Refuse("the main window could not be created");
        frmMain.SetBackendName(backend->Name());
        if (!reachable)
            frmMain.Form().ShowStatus("The start directory's name does not fit this system's "
                                      "code page: files there cannot be opened.");
        ShowWindow(frmMain.Handle(), show);
        UpdateWindow(frmMain.Handle());
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (IsDialogMessageW(frmMain.Handle(), &message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        result = static_cast<int>(message.wParam);
    }
    tapster::SetPortBackend(nullptr);
    return result;
}
