#include "port/inpout_backend.h"

#ifdef TAPSTER_HAVE_INPOUT_BACKEND

#include "port/win_api.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace tapster {

namespace {

constexpr bool k64Bit = sizeof(void*) == 8;
constexpr const wchar_t* kDllNameW = k64Bit ? L"inpoutx64.dll" : L"inpout32.dll";

// The program's own folder, by its Unicode name: the DLL is looked for there first.
std::wstring ProgramFolderW() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return L"";
    path.resize(n);
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
}

// The program's folder as the user reads it in a message.
std::string ProgramFolder() {
    const std::string path = win::ProgramFilePath();
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "the program's folder" : path.substr(0, slash + 1);
}

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? InpOutDllName() : std::string(path, n);
}

// Where the DLL belongs, the end of every message.
std::string WhatToInstall() {
    return std::string("install InpOut32 and put its ") + InpOutDllName() +
           (k64Bit ? " (the 64-bit DLL, for this 64-bit program)"
                   : " (the 32-bit DLL, for this 32-bit program)") +
           " next to tapcheck.exe and tapcheck-cli.exe in " + ProgramFolder();
}

} // namespace

const char* InpOutDllName() {
    return k64Bit ? "inpoutx64.dll" : "inpout32.dll";
}

InpOutBackend::~InpOutBackend() {
    if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
}

bool InpOutBackend::Load(std::string& error) {
    // The program's folder first, then the system's search path. A file in the program's folder
    // that does not load is the one the user put there: its error is the one to tell.
    const std::wstring beside = ProgramFolderW() + kDllNameW;
    HMODULE module = LoadLibraryW(beside.c_str());
    DWORD err = module == nullptr ? GetLastError() : 0;
    if (module == nullptr && err == ERROR_MOD_NOT_FOUND) {
        module = LoadLibraryW(kDllNameW);
        err = module == nullptr ? GetLastError() : 0;
    }
    if (module == nullptr) {
        error = err == ERROR_MOD_NOT_FOUND
                    ? std::string(InpOutDllName()) +
                          " was found neither beside the program nor "
                          "on the system path: " +
                          WhatToInstall()
                    : std::string(InpOutDllName()) + " could not be loaded (Windows error " +
                          std::to_string(err) +
                          (err == ERROR_BAD_EXE_FORMAT ? ", a DLL of the other architecture" : "") +
                          "): " + WhatToInstall();
        return false;
    }
    const auto inp32 =
        reinterpret_cast<InpCall>(reinterpret_cast<void*>(GetProcAddress(module, "Inp32")));
    const auto out32 =
        reinterpret_cast<OutCall>(reinterpret_cast<void*>(GetProcAddress(module, "Out32")));
    const auto driverOpen = reinterpret_cast<DriverOpenCall>(
        reinterpret_cast<void*>(GetProcAddress(module, "IsInpOutDriverOpen")));
    const char* missing = inp32 == nullptr        ? "Inp32"
                          : out32 == nullptr      ? "Out32"
                          : driverOpen == nullptr ? "IsInpOutDriverOpen"
                                                  : nullptr;
    if (missing != nullptr) {
        error = ModulePath(module) + " is not InpOut32's DLL (it has no " + missing +
                "): " + WhatToInstall();
    } else if (driverOpen() == 0) {
        error = ModulePath(module) +
                " could not open its driver: run the program once as administrator so that the "
                "DLL installs its driver; 64-bit Windows loads only the signed driver, and some "
                "anti-cheat and antivirus tools block it";
    } else {
        module_ = module;
        inp32_ = inp32;
        out32_ = out32;
        return true;
    }
    FreeLibrary(module);
    return false;
}

bool InpOutBackend::Acquire(std::string& error) {
    if (module_ == nullptr && !Load(error)) return false;
    acquired_ = true;
    return true;
}

void InpOutBackend::OutByte(uint16_t address, uint8_t value) {
    out32_(static_cast<short>(address), value);
}

uint8_t InpOutBackend::InByte(uint16_t address) {
    return static_cast<uint8_t>(inp32_(static_cast<short>(address)));
}

} // namespace tapster

#endif
