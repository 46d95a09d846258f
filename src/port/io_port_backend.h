// A parallel port reached by its I/O addresses: the three registers from a base address (0x378
// for the first port, a PCI or PCIe card's elsewhere), each access one byte in or out. The ways
// there (port instructions, a port driver's DLL) differ only in how a byte moves and how the port
// becomes usable.
#pragma once

#include "port/lpt_registers.h"
#include "port/port_backend.h"

#include <string>

namespace tapster {

class IoPortBackend : public PortBackend {
  public:
    // kind: how --port= names this way to the port ("direct", "inpout").
    IoPortBackend(const char* kind, uint16_t base) : kind_(kind), base_(base) {}

    // One byte in or out on the three registers at the base. Other ports, and every access
    // while the port is not usable, are skipped (a read gives 0xFF, as a cable without target).
    void WriteRegister(uint16_t port, uint8_t value) final {
        if (Usable() && IsRegister(port)) OutByte(IoAddress(port), value);
    }
    uint8_t ReadRegister(uint16_t port) final {
        return Usable() && IsRegister(port) ? InByte(IoAddress(port)) : 0xFF;
    }
    // The kind alone at 0x378, "KIND:0xD010" elsewhere.
    std::string Name() const override;
    uint16_t IoAddress(uint16_t port) const final {
        return static_cast<uint16_t>(base_ + (port - kLptDataPort));
    }

  protected:
    uint16_t Base() const { return base_; }
    // True once the port's accesses may be made (the permission is held, the DLL is loaded).
    virtual bool Usable() const = 0;
    virtual void OutByte(uint16_t address, uint8_t value) = 0;
    virtual uint8_t InByte(uint16_t address) = 0;

  private:
    static bool IsRegister(uint16_t port) {
        return port >= kLptDataPort && port < kLptDataPort + kLptRegisterCount;
    }

    const char* kind_;
    uint16_t base_;
};

} // namespace tapster
