#include "app/native_port.h"

#ifdef TAPSTER_HAVE_NATIVE_PORT

#include <intrin.h>

namespace tapster {

void NativePortBackend::OutByte(uint16_t address, uint8_t value) {
    __outbyte(address, value);
}

uint8_t NativePortBackend::InByte(uint16_t address) {
    return __inbyte(address);
}

} // namespace tapster

#endif
