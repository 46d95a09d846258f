#include "standin/port_permission.h"

#include "port/port_backend.h"

#include <bitset>
#include <cstdio>
#include <cstdlib>
#include <deque>

namespace tapster {

namespace {

std::bitset<65536> permitted; // nothing is permitted until a claim activates the map

void DefaultFault(uint16_t port, bool write) {
    std::fprintf(stderr, "port fault: %s of port 0x%X without permission (port not claimed)\n",
                 write ? "write" : "read", port);
    std::abort();
}

PortFaultHandler faultHandler = DefaultFault;

// Passes the permitted accesses on to the chosen backend and faults the others.
class PermissionGuard final : public PortBackend {
  public:
    void WriteRegister(uint16_t port, uint8_t value) override {
        if (PortBackend* backend = Permitted(port, true)) backend->WriteRegister(port, value);
    }
    uint8_t ReadRegister(uint16_t port) override {
        PortBackend* backend = Permitted(port, false);
        return backend != nullptr ? backend->ReadRegister(port) : 0xFF;
    }
    // A refused sample keeps its place in the queue as a read of 0xFF.
    void QueueSample(uint16_t port) override {
        PortBackend* backend = Permitted(port, false);
        if (backend != nullptr) backend->QueueSample(port);
        fromBackend_.push_back(backend != nullptr);
    }
    uint8_t ReadSample() override {
        if (fromBackend_.empty()) return 0xFF;
        const bool fromBackend = fromBackend_.front();
        fromBackend_.pop_front();
        PortBackend* backend = GetPortBackend();
        return fromBackend && backend != nullptr ? backend->ReadSample() : 0xFF;
    }
    size_t SampleBufferSize() const override {
        const PortBackend* backend = GetPortBackend();
        return backend != nullptr ? backend->SampleBufferSize() : 1;
    }
    void Flush() override {
        if (PortBackend* backend = GetPortBackend()) backend->Flush();
    }
    bool Lost() const override {
        const PortBackend* backend = GetPortBackend();
        return backend != nullptr && backend->Lost();
    }
    std::string LostMessage() const override {
        const PortBackend* backend = GetPortBackend();
        return backend != nullptr ? backend->LostMessage() : PortBackend::LostMessage();
    }
    std::string Name() const override { return "port guard"; }
    void Forget() { fromBackend_.clear(); }

  private:
    // The backend when the access is permitted and there is one; null otherwise (after the fault).
    static PortBackend* Permitted(uint16_t port, bool write) {
        if (permitted[port]) return GetPortBackend();
        faultHandler(port, write);
        return nullptr;
    }

    std::deque<bool> fromBackend_;
};

PermissionGuard portGuard;

} // namespace

void ApplyPermissionMap(const uint8_t* map) {
    for (int p = 0; p < 65536; ++p)
        permitted[static_cast<size_t>(p)] = ((map[p / 8] >> (p % 8)) & 1) == 0;
}

void PermitAllPorts(bool permit) {
    if (permit)
        permitted.set();
    else
        permitted.reset();
}

bool PortPermitted(uint16_t port) {
    return permitted[port];
}

void GuardPortAccesses(bool on) {
    portGuard.Forget();
    SetPortGuard(on ? &portGuard : nullptr);
}

void SetPortFaultHandler(PortFaultHandler handler) {
    faultHandler = handler != nullptr ? handler : DefaultFault;
}

} // namespace tapster
