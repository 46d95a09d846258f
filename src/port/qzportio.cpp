#include "port/qzportio.h"

#include "port/port_backend.h"

#include <deque>

#if defined(_WIN32) &&                                                                             \
    (defined(_M_IX86) || defined(_M_X64) || defined(__i386__) || defined(__x86_64__))
#include <intrin.h>
#define TAPSTER_PORT_INSTRUCTIONS 1
#endif

namespace tapster {

namespace {

PortBackend* chosenBackend = nullptr;
PortBackend* guard = nullptr;
// Where every access goes: the guard when one is set, otherwise the chosen backend. On Windows
// the operating system itself checks the permission the driver granted, and with no backend each
// access is one port instruction; elsewhere, with no backend there is no cable (reads 0xFF).
PortBackend* io = nullptr;

// Where each queued sample's value comes from, oldest first: kFromBackend for the backend's own
// queue, otherwise the value itself (a read without a backend).
constexpr int kFromBackend = -1;
std::deque<int> queuedSamples;

} // namespace

void SetPortBackend(PortBackend* backend) {
    chosenBackend = backend;
    io = guard != nullptr ? guard : chosenBackend;
}

PortBackend* GetPortBackend() {
    return chosenBackend;
}

void SetPortGuard(PortBackend* portGuard) {
    guard = portGuard;
    io = guard != nullptr ? guard : chosenBackend;
}

uint8_t ReadPortByte(uint16_t port) {
    if (io != nullptr) return io->ReadRegister(port);
#ifdef TAPSTER_PORT_INSTRUCTIONS
    return __inbyte(port);
#else
    (void)port;
    return 0xFF;
#endif
}

void WritePortByte(uint16_t port, uint8_t value) {
    if (io != nullptr) {
        io->WriteRegister(port, value);
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
    if (io == nullptr) {
        queuedSamples.push_back(ReadPortByte(port));
        return;
    }
    io->QueueSample(port);
    queuedSamples.push_back(kFromBackend);
}

uint8_t ReadPortSample() {
    if (queuedSamples.empty()) return 0xFF;
    const int source = queuedSamples.front();
    queuedSamples.pop_front();
    if (source != kFromBackend) return static_cast<uint8_t>(source);
    return io != nullptr ? io->ReadSample() : 0xFF;
}

size_t PortSampleBufferSize() {
    const size_t size = io != nullptr ? io->SampleBufferSize() : 1;
    return size > 0 ? size : 1;
}

void FlushPort() {
    if (io != nullptr) io->Flush();
}

bool PortLost() {
    return io != nullptr && io->Lost();
}

void ForgetPortSamples() {
    queuedSamples.clear();
}

} // namespace tapster
