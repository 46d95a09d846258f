// The parallel port through Linux's ppdev driver (/dev/parportN): the normal choice on Linux,
// needing only membership of the lp group instead of root.
#pragma once

#ifdef __linux__

#include "port/port_backend.h"

#include <string>

namespace tapster {

// The system calls the backend makes, replaceable so tests can check every request without a
// port. They follow the C library's convention: -1 with errno set on failure.
struct PpdevCalls {
    int (*open)(const char* path, int flags);
    int (*close)(int fd);
    int (*ioctl)(int fd, unsigned long request, void* arg);
};
PpdevCalls SystemPpdevCalls();

constexpr const char* kDefaultParport = "/dev/parport0";

class PpdevBackend : public PortBackend {
  public:
    explicit PpdevBackend(std::string device = kDefaultParport,
                          PpdevCalls calls = SystemPpdevCalls());
    ~PpdevBackend() override;

    // Data register (base) -> PPWDATA/PPRDATA, status (base + 1) -> PPRSTATUS as the port
    // shows it (BUSY not inverted), control (base + 2) -> PPWCONTROL/PPRCONTROL.
    void WriteRegister(uint16_t port, uint8_t value) override;
    uint8_t ReadRegister(uint16_t port) override;
    // open O_RDWR, PPEXCL, PPCLAIM, compatibility mode; false with a hint naming the device,
    // the lp group and the ppdev module.
    bool Acquire(std::string& error) override;
    // PPRELEASE and close.
    void Relinquish() override;
    std::string Name() const override { return "ppdev:" + device_; }

    bool Claimed() const { return fd_ >= 0; }

  private:
    std::string device_;
    PpdevCalls calls_;
    int fd_ = -1;
};

} // namespace tapster

#endif
