// A stand-in for InpOut32's DLL: the same three exports, with the simulated board behind the
// first parallel port's registers where the real DLL has its driver. It lets --port=inpout run
// under wine; it is built in the test tree only and never shipped. One board per process, made at
// the first access. With TAPSTER_STANDIN_DRIVER_CLOSED=1 IsInpOutDriverOpen answers 0, as the
// real DLL does when its driver could not be installed.
#include "board/board.h"

#include <cstdlib>
#include <cstring>

namespace {

tapster::board::Board& TheBoard() {
    static tapster::board::Board board;
    return board;
}

} // namespace

extern "C" {

__declspec(dllexport) short __stdcall Inp32(short address) {
    return TheBoard().ReadRegister(static_cast<uint16_t>(address));
}

__declspec(dllexport) void __stdcall Out32(short address, short value) {
    TheBoard().WriteRegister(static_cast<uint16_t>(address), static_cast<uint8_t>(value));
}

__declspec(dllexport) int __stdcall IsInpOutDriverOpen() {
    const char* closed = std::getenv("TAPSTER_STANDIN_DRIVER_CLOSED");
    return closed != nullptr && std::strcmp(closed, "1") == 0 ? 0 : 1;
}

} // extern "C"
