// Windows: the parallel port's registers by the x86 port instructions themselves, legal once the
// permission driver has granted the process the port range (the claim does that).
#pragma once

#if defined(_WIN32) &&                                                                             \
    (defined(_M_IX86) || defined(_M_X64) || defined(__i386__) || defined(__x86_64__))
#define TAPSTER_HAVE_NATIVE_PORT 1

#include "port/lpt_registers.h"
#include "port/port_backend.h"

namespace tapster {

class NativePortBackend : public PortBackend {
  public:
    // base: the data register's I/O address (0x378 for the first port; a PCI card's elsewhere).
    explicit NativePortBackend(uint16_t base = kLptDataPort) : base(base) {}
    void WriteRegister(uint16_t port, uint8_t value) override;
    uint8_t ReadRegister(uint16_t port) override;
    std::string Name() const override { return DirectPortName(base); }
    bool UsesPortInstructions() const override { return true; }
    uint16_t IoAddress(uint16_t port) const override {
        return static_cast<uint16_t>(base + (port - kLptDataPort));
    }

  private:
    uint16_t base;
};

} // namespace tapster

#endif
