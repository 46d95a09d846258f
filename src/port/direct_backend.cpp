#include "port/direct_backend.h"
#include "port/lpt_registers.h"

#ifdef TAPSTER_HAVE_DIRECT_BACKEND

#include "core/hex.h"

#include <cerrno>
#include <cstring>
#include <sys/io.h>

namespace tapster {

namespace {
constexpr uint16_t kCount = kLptRegisterCount;

int SysIoperm(unsigned long from, unsigned long num, int turnOn) {
    return ::ioperm(from, num, turnOn);
}
} // namespace

DirectBackend::DirectBackend(IopermCall ioperm, uint16_t base)
    : IoPortBackend("direct", base), ioperm_(ioperm != nullptr ? ioperm : SysIoperm) {}

DirectBackend::~DirectBackend() {
    Relinquish();
}

void DirectBackend::OutByte(uint16_t address, uint8_t value) {
    outb(value, address);
}

uint8_t DirectBackend::InByte(uint16_t address) {
    return inb(address);
}

bool DirectBackend::Acquire(std::string& error) {
    if (permitted_) return true;
    if (ioperm_(Base(), kCount, 1) != 0) {
        const int err = errno;
        error = "Direct port access to 0x" + HexMin(Base(), 3) +
                " was refused (ioperm: " + std::strerror(err) + "). ";
        if (err == ENOSYS)
            error += "Port instructions are not available on this system (no ioperm: a kernel "
                     "without it, or an emulator or container that does not offer it); use the "
                     "ppdev port instead (--port=ppdev:/dev/parport0).";
        else if (err == EPERM)
            error += "It needs root or CAP_SYS_RAWIO ('sudo setcap cap_sys_rawio+ep' on the "
                     "program); without them use the ppdev port instead "
                     "(--port=ppdev:/dev/parport0).";
        else
            error += "Use the ppdev port instead (--port=ppdev:/dev/parport0).";
        return false;
    }
    permitted_ = true;
    return true;
}

void DirectBackend::Relinquish() {
    if (!permitted_) return;
    ioperm_(Base(), kCount, 0);
    permitted_ = false;
}

} // namespace tapster

#endif
