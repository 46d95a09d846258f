#ifdef __linux__

#include "port/ppdev_backend.h"
#include "port/lpt_registers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tapster {

namespace {

constexpr uint16_t kDataPort = kLptDataPort;
constexpr uint16_t kStatusPort = kLptStatusPort;
constexpr uint16_t kControlPort = kLptControlPort;

int SysOpen(const char* path, int flags) {
    return ::open(path, flags);
}
int SysClose(int fd) {
    return ::close(fd);
}
int SysIoctl(int fd, unsigned long request, void* arg) {
    return ::ioctl(fd, request, arg);
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

} // namespace

PpdevCalls SystemPpdevCalls() {
    return {SysOpen, SysClose, SysIoctl};
}

PpdevBackend::PpdevBackend(std::string device, PpdevCalls calls)
    : device_(std::move(device)), calls_(calls) {}

PpdevBackend::~PpdevBackend() {
    Relinquish();
}

void PpdevBackend::WriteRegister(uint16_t port, uint8_t value) {
    if (fd_ < 0) return;
    if (port == kDataPort)
        calls_.ioctl(fd_, PPWDATA, &value);
    else if (port == kControlPort)
        calls_.ioctl(fd_, PPWCONTROL, &value);
}

uint8_t PpdevBackend::ReadRegister(uint16_t port) {
    uint8_t value = 0xFF;
    if (fd_ < 0) return value;
    unsigned long request = port == kStatusPort    ? PPRSTATUS
                            : port == kDataPort    ? PPRDATA
                            : port == kControlPort ? PPRCONTROL
                                                   : 0;
    if (request != 0 && calls_.ioctl(fd_, request, &value) < 0) value = 0xFF;
    return value;
}

bool PpdevBackend::Acquire(std::string& error) {
    if (fd_ >= 0) return true;
    int f = calls_.open(device_.c_str(), O_RDWR);
    if (f < 0) {
        int err = errno;
        error = "Cannot open " + device_ + ": " + ErrnoText(err) +
                ". Check that the ppdev driver is loaded ('sudo modprobe ppdev') and that your"
                " user is in the lp group ('sudo usermod -aG lp $USER', then log in again).";
        return false;
    }
    // ENOTTY and EINVAL: the file takes no ppdev requests at all (a regular file, /dev/null,
    // another kind of device). EBUSY and ENXIO: a parallel port, but held by someone else.
    auto fail = [&](const char* step, const char* busyAdvice) {
        int err = errno;
        const bool notParport = err == ENOTTY || err == EINVAL;
        error = std::string("Cannot claim ") + device_ + " (" + step + "): " + ErrnoText(err) +
                ". " +
                (notParport ? device_ + " is not a parallel port device; give the port's ppdev "
                                        "device (--port=ppdev:/dev/parport0)."
                            : std::string(busyAdvice));
        calls_.close(f);
        return false;
    };
    if (calls_.ioctl(f, PPEXCL, nullptr) < 0)
        return fail("PPEXCL", "Another driver holds the port; unload it with 'sudo rmmod lp'.");
    if (calls_.ioctl(f, PPCLAIM, nullptr) < 0)
        return fail("PPCLAIM", "The port is busy, held by another driver or program (unload "
                               "lp with 'sudo rmmod lp', or close the other program).");
    int mode = IEEE1284_MODE_COMPAT;
    if (calls_.ioctl(f, PPSETMODE, &mode) < 0) {
        calls_.ioctl(f, PPRELEASE, nullptr);
        return fail("PPSETMODE", "The port refuses compatibility mode.");
    }
    fd_ = f;
    return true;
}

void PpdevBackend::Relinquish() {
    if (fd_ < 0) return;
    calls_.ioctl(fd_, PPRELEASE, nullptr);
    calls_.close(fd_);
    fd_ = -1;
}

} // namespace tapster

#endif
