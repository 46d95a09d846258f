#include "port/qzportio.h"

#include "port/port_backend.h"
#include "port/port_permission.h"

#include <bitset>
#include <cstdio>
#include <cstdlib>
#include <deque>

#if defined(_WIN32) &&                                                                             \
    (defined(_M_IX86) || defined(_M_X64) || defined(__i386__) || defined(__x86_64__))
#include <intrin.h>
#define TAPSTER_PORT_INSTRUCTIONS 1
#endif

namespace tapster {

namespace {

std::bitset<65536> permitted; // nothing is permitted until a claim activates the map

void DefaultFault(uint16_t port, bool write) {
    std::fprintf(stderr, "port fault: %s of port 0x%X without permission (port not claimed)\n",
                 write ? "write" : "read", port);
    std::abort();
}

PortFaultHandler faultHandler = DefaultFault;

// Where each queued sample's value comes from, oldest first: kFromBackend for the backend's own
// queue, otherwise the value itself (a read without a backend, or one refused for permission).
constexpr int kFromBackend = -1;
std::deque<int> queuedSamples;

} // namespace

uint8_t ReadPortSample() {
    if (queuedSamples.empty()) return 0xFF;
    const int source = queuedSamples.front();
    queuedSamples.pop_front();
    if (source != kFromBackend) return static_cast<uint8_t>(source);
    PortBackend* backend = GetPortBackend();
    return backend != nullptr ? backend->ReadSample() : 0xFF;
}

size_t PortSampleBufferSize() {
    PortBackend* backend = GetPortBackend();
    const size_t size = backend != nullptr ? backend->SampleBufferSize() : 1;
    return size > 0 ? size : 1;
}

void FlushPort() {
    if (PortBackend* backend = GetPortBackend()) backend->Flush();
}

bool PortLost() {
    PortBackend* backend = GetPortBackend();
    return backend != nullptr && backend->Lost();
}

void ForgetPortSamples() {
    queuedSamples.clear();
}

void SetPortFaultHandler(PortFaultHandler handler) {
    faultHandler = handler != nullptr ? handler : DefaultFault;
}

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

#ifdef _WIN32

// On Windows the operating system itself checks the permission the driver granted. A backend,
// when one is installed (the simulated board), takes the registers' place; otherwise each call is
// one port instruction.
uint8_t ReadPortByte(uint16_t port) {
    if (PortBackend* backend = GetPortBackend()) return backend->ReadRegister(port);
#ifdef TAPSTER_PORT_INSTRUCTIONS
    return __inbyte(port);
#else
    return 0xFF;
#endif
}

void WritePortByte(uint16_t port, uint8_t value) {
    if (PortBackend* backend = GetPortBackend()) {
        backend->WriteRegister(port, value);
        return;
    }
#ifdef TAPSTER_PORT_INSTRUCTIONS
    __outbyte(port, value);
#else
    (void)port;
    (void)value;
#endif
}

void QueuePortSample(uint16_t port) {
    if (PortBackend* backend = GetPortBackend()) {
        backend->QueueSample(port);
        queuedSamples.push_back(kFromBackend);
        return;
    }
    queuedSamples.push_back(ReadPortByte(port));
}

#else

void QueuePortSample(uint16_t port) {
    PortBackend* backend = GetPortBackend();
    if (!permitted[port] || backend == nullptr) {
        queuedSamples.push_back(ReadPortByte(port)); // the fault, or no cable at all
        return;
    }
    backend->QueueSample(port);
    queuedSamples.push_back(kFromBackend);
}

uint8_t ReadPortByte(uint16_t port) {
    if (!permitted[port]) {
        faultHandler(port, false);
        return 0xFF;
    }
    PortBackend* backend = GetPortBackend();
    return backend != nullptr ? backend->ReadRegister(port) : 0xFF;
}

void WritePortByte(uint16_t port, uint8_t value) {
    if (!permitted[port]) {
        faultHandler(port, true);
        return;
    }
    if (PortBackend* backend = GetPortBackend()) backend->WriteRegister(port, value);
}

#endif

} // namespace tapster
