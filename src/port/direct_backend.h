// The parallel port by x86 port instructions straight from the process, after ioperm: needs
// root or CAP_SYS_RAWIO. Only on x86 Linux; elsewhere the backend does not exist.
#pragma once

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#define TAPSTER_HAVE_DIRECT_BACKEND 1

#include "port/io_port_backend.h"

namespace tapster {

class DirectBackend final : public IoPortBackend {
  public:
    // The permission call, replaceable so tests can see a refusal without dropping privileges.
    using IopermCall = int (*)(unsigned long from, unsigned long num, int turnOn);
    // base: the data register's I/O address (0x378 for the first port; a PCI card's elsewhere).
    explicit DirectBackend(IopermCall ioperm = nullptr, uint16_t base = kLptDataPort);
    ~DirectBackend() override;

    // ioperm(base, 3, 1); false with a hint when the process lacks the privilege.
    bool Acquire(std::string& error) override;
    void Relinquish() override;
    bool UsesPortInstructions() const override { return true; }

  protected:
    // One inb/outb each, once ioperm has permitted the three registers.
    bool Usable() const override { return permitted_; }
    void OutByte(uint16_t address, uint8_t value) override;
    uint8_t InByte(uint16_t address) override;

  private:
    IopermCall ioperm_;
    bool permitted_ = false;
};

} // namespace tapster

#endif
