// Raw reads and writes of the parallel-port registers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tapster {

uint8_t ReadPortByte(uint16_t port);
void WritePortByte(uint16_t port, uint8_t value);

// The port's sample queue (see PortBackend): a read of `port` queued at this point of the access
// stream, its result taken later, in order, with ReadPortSample. PortSampleBufferSize says how
// many may wait unread; FlushPort sends what a remote cable still buffers; PortLost says the
// cable can no longer be reached.
void QueuePortSample(uint16_t port);
uint8_t ReadPortSample();
size_t PortSampleBufferSize();
void FlushPort();
bool PortLost();
// Drops the record of queued samples (the engine's reset for tests).
void ForgetPortSamples();

} // namespace tapster
