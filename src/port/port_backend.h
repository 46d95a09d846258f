// What stands behind the parallel port's registers: a real port (ppdev, direct I/O, a remote
// bitbang server) or the simulated board. Kept as small as a cable driver can be.
#pragma once

#include <cstdint>
#include <string>

namespace tapster {

class PortBackend {
  public:
    virtual ~PortBackend() = default;
    // One register access each; called for every clock edge, so no checks and no waiting.
    virtual void WriteRegister(uint16_t port, uint8_t value) = 0;
    virtual uint8_t ReadRegister(uint16_t port) = 0;
    // Makes the registers usable when the port is claimed (ppdev: open, PPEXCL, PPCLAIM).
    // False with a message for the user when the port cannot be had.
    virtual bool Acquire(std::string& error) {
        (void)error;
        return true;
    }
    // Gives the port back when the claim is released.
    virtual void Relinquish() {}
    // How the window and the CLI name it: "simulated board", "ppdev:/dev/parport0", ...
    virtual std::string Name() const = 0;
    // True for backends that execute x86 port instructions themselves, which on Windows are
    // legal only after the permission driver has granted the ports.
    virtual bool UsesPortInstructions() const { return false; }
};

// The backend behind ReadPortByte/WritePortByte; chosen once at start-up.
void SetPortBackend(PortBackend* backend);
PortBackend* GetPortBackend();

} // namespace tapster
