#include "app/native_port.h"

#ifdef TAPSTER_HAVE_NATIVE_PORT

#include <intrin.h>

namespace tapster {

void NativePortBackend::WriteRegister(uint16_t port, uint8_t value) {
    __outbyte(IoAddress(port), value);
}

uint8_t NativePortBackend::ReadRegister(uint16_t port) {
    return __inbyte(IoAddress(port));
}

} // namespace tapster

#endif
