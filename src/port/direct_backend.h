// The parallel port by x86 port instructions straight from the process, after ioperm: needs
// root or CAP_SYS_RAWIO. Only on x86 Linux; elsewhere the backend does not exist.
#pragma once

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#define TAPSTER_HAVE_DIRECT_BACKEND 1

#include "port/lpt_registers.h"
#include "port/port_backend.h"

namespace tapster {

class DirectBackend : public PortBackend {
  public:
    // The permission call, replaceable so tests can see a refusal without dropping privileges.
    using IopermCall = int (*)(unsigned long from, unsigned long num, int turnOn);
    // base: the data register's I/O address (0x378 for the first port; a PCI card's elsewhere).
    explicit DirectBackend(IopermCall ioperm = nullptr, uint16_t base = kLptDataPort);
    ~DirectBackend() override;

    // One inb/outb each on the three registers at base; other ports are ignored (they are not
    // permitted).
    void WriteRegister(uint16_t port, uint8_t value) override;
    uint8_t ReadRegister(uint16_t port) override;
    // ioperm(base, 3, 1); false with a hint when the process lacks the privilege.
    bool Acquire(std::string& error) override;
    void Relinquish() override;
    std::string Name() const override;
    bool UsesPortInstructions() const override { return true; }
    uint16_t IoAddress(uint16_t port) const override;

  private:
    IopermCall ioperm_;
    uint16_t base_;
    bool permitted_ = false;
};

} // namespace tapster

#endif
