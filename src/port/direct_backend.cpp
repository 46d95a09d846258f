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
    : ioperm_(ioperm != nullptr ? ioperm : SysIoperm), base_(base) {}

std::string DirectBackend::Name() const {
    return DirectPortName(base_);
}

uint16_t DirectBackend::IoAddress(uint16_t port) const {
    return static_cast<uint16_t>(base_ + (port - kLptDataPort));
}

DirectBackend::~DirectBackend() {
    Relinquish();
}

void DirectBackend::WriteRegister(uint16_t port, uint8_t value) {
    if (permitted_ && port >= kLptDataPort && port < kLptDataPort + kCount)
        outb(value, IoAddress(port));
}

uint8_t DirectBackend::ReadRegister(uint16_t port) {
    if (permitted_ && port >= kLptDataPort && port < kLptDataPort + kCount)
        return inb(IoAddress(port));
    return 0xFF;
}

bool DirectBackend::Acquire(std::string& error) {
    if (permitted_) return true;
    if (ioperm_(base_, kCount, 1) != 0) {
        const int err = errno;
        error = "Direct port access to 0x" + HexMin(base_, 3) +
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
    ioperm_(base_, kCount, 0);
    permitted_ = false;
}

} // namespace tapster

#endif
