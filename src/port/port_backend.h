// What stands behind the parallel port's registers: a real port (ppdev, direct I/O, a remote
// bitbang server) or the simulated board. Kept as small as a cable driver can be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace tapster {

class PortBackend {
  public:
    virtual ~PortBackend() = default;
    // One register access each; called for every clock edge, so no checks and no waiting.
    virtual void WriteRegister(uint16_t port, uint8_t value) = 0;
    virtual uint8_t ReadRegister(uint16_t port) = 0;

    // The sample queue, as OpenOCD's bitbang adapters have one. QueueSample asks for a read of a
    // register at this point of the access stream; ReadSample hands the queued results back, oldest
    // first. A cable that answers at once (ppdev, direct I/O, the board in process) reads on
    // QueueSample, so its accesses happen one after another exactly as ReadRegister calls would.
    // A cable far away (a remote server) sends the request and answers when the value is asked.
    virtual void QueueSample(uint16_t port) { answered_.push_back(ReadRegister(port)); }
    virtual uint8_t ReadSample() {
        if (answered_.empty()) return 0xFF; // nothing queued: as a cable without a target
        const uint8_t value = answered_.front();
        answered_.pop_front();
        return value;
    }
    // How many samples may wait unread at a time; 1 for a cable that answers at once.
    virtual size_t SampleBufferSize() const { return 1; }
    // Sends what is buffered on its way to the cable; nothing to do for a cable at hand.
    virtual void Flush() {}
    // True once the cable can no longer be reached (its connection closed or silent past its
    // timeout); every read since reads as TDO high.
    virtual bool Lost() const { return false; }
    // What to tell the user when Lost() is true.
    virtual std::string LostMessage() const { return "lost the cable " + Name(); }
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
    // The I/O address a register stands at on this port: the registers are named by the first
    // parallel port's addresses (0x378 and up); a card elsewhere (PCI, PCIe) moves them all.
    virtual uint16_t IoAddress(uint16_t port) const { return port; }

  private:
    std::deque<uint8_t> answered_;
};

// The backend behind ReadPortByte/WritePortByte; chosen once at start-up.
void SetPortBackend(PortBackend* backend);
PortBackend* GetPortBackend();

// A layer that every access passes through on its way to the chosen backend, for tests (a
// permission check as the operating system would make it); null sends each access straight on.
void SetPortGuard(PortBackend* guard);

} // namespace tapster
