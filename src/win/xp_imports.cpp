// Imports that Windows XP lacks, answered inside the program. The static winpthread of the -posix
// compilers calls GetTickCount64 (Vista and later): the import's pointer is defined here, so the
// program imports nothing of that name, and it points to the system's function where there is
// one and to a GetTickCount-based count elsewhere.
#include <windows.h>

namespace {

ULONGLONG WINAPI CountFromTickCount() {
    // GetTickCount wraps after 49.7 days; the wraps seen so far make the upper half.
    static volatile LONG lastLow = 0;
    static volatile LONG wraps = 0;
    const auto low = static_cast<LONG>(GetTickCount());
    const LONG before = InterlockedExchange(&lastLow, low);
    if (static_cast<DWORD>(low) < static_cast<DWORD>(before)) InterlockedIncrement(&wraps);
    return (static_cast<ULONGLONG>(static_cast<DWORD>(wraps)) << 32) | static_cast<DWORD>(low);
}

using TickCount64 = ULONGLONG(WINAPI*)();

ULONGLONG WINAPI FirstCall();

} // namespace

// The name the import library gives the pointer: decorated for stdcall on 32-bit x86.
#if defined(__i386__)
#define TAPSTER_IMPORT_NAME "__imp__GetTickCount64@0"
#else
#define TAPSTER_IMPORT_NAME "__imp_GetTickCount64"
#endif
extern "C" {
TickCount64 tapsterGetTickCount64 __asm__(TAPSTER_IMPORT_NAME) = &FirstCall;
}

namespace {

ULONGLONG WINAPI FirstCall() {
    auto system = reinterpret_cast<TickCount64>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
    tapsterGetTickCount64 = system != nullptr ? system : &CountFromTickCount;
    return tapsterGetTickCount64();
}

} // namespace
