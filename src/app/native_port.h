// Windows: the parallel port's registers by the x86 port instructions themselves, legal once the
// permission driver has granted the process the port range (the claim does that).
#pragma once

#if defined(_WIN32) &&                                                                             \
    (defined(_M_IX86) || defined(_M_X64) || defined(__i386__) || defined(__x86_64__))
#define TAPSTER_HAVE_NATIVE_PORT 1

#include "port/io_port_backend.h"

namespace tapster {

class NativePortBackend final : public IoPortBackend {
  public:
    // base: the data register's I/O address (0x378 for the first port; a PCI card's elsewhere).
    explicit NativePortBackend(uint16_t base = kLptDataPort) : IoPortBackend("direct", base) {}
    bool UsesPortInstructions() const override { return true; }

  protected:
    // The claim has the driver grant the ports before any command touches them.
    bool Usable() const override { return true; }
    void OutByte(uint16_t address, uint8_t value) override;
    uint8_t InByte(uint16_t address) override;
};

} // namespace tapster

#endif
