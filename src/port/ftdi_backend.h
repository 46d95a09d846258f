// The cable's pins on an FTDI H-series chip's MPSSE (FT2232H, FT232H): a write of the data
// register becomes "set the low GPIO byte" (0x80 value direction), a queued read of the status
// register "read the low GPIO byte" (0x81), and a flush "send what was read at once" (0x87).
// The chip is reached through an FtdiLink, so the backend runs the same on libftdi1 and on the
// tests' model of the chip.
#pragma once

#include "port/ftdi_link.h"
#include "port/ftdi_options.h"
#include "port/port_backend.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace tapster {

class FtdiBackend : public PortBackend {
  public:
    // timeoutMs bounds every wait for answers; a cable silent that long is lost.
    FtdiBackend(FtdiOptions options, std::unique_ptr<FtdiLink> link, int timeoutMs = 1000);
    ~FtdiBackend() override;

    void WriteRegister(uint16_t port, uint8_t value) override;
    uint8_t ReadRegister(uint16_t port) override;
    void QueueSample(uint16_t port) override;
    uint8_t ReadSample() override;
    size_t SampleBufferSize() const override { return kOutstanding; }
    void Flush() override;
    bool Lost() const override { return lost_; }
    std::string LostMessage() const override;
    // Opens the first chip the options name, checks that its MPSSE answers a bad opcode as it
    // should, and sets its clocking up. False with a message saying what was looked for.
    bool Acquire(std::string& error) override;
    void Relinquish() override;
    std::string Name() const override;

    // Answers that may wait unread at a time: well within the smallest chip's buffer (1 KiB).
    static constexpr size_t kOutstanding = 512;
    // Waits for answers so far (the round trips a command cost).
    uint64_t RoundTrips() const { return roundTrips_; }
    // Bytes of MPSSE commands sent so far.
    uint64_t BytesSent() const { return bytesSent_; }

  private:
    bool OpenFirst(FtdiDevice& device, std::string& error);
    bool CheckMpsse(std::string& error);
    void Put(uint8_t byte);
    bool Send();
    bool Receive(size_t count, uint8_t* into);
    void Collect();
    uint8_t Answer();
    uint8_t PinByte(uint8_t data) const;
    void Drop();

    FtdiOptions options_;
    std::unique_ptr<FtdiLink> link_;
    int timeoutMs_;
    bool open_ = false;
    bool lost_ = false;
    std::string found_;         // what the open found, for Name()
    size_t writeChunk_ = 1024;  // the chip's buffer
    uint8_t direction_ = 0;     // the outputs of the low byte
    std::vector<uint8_t> out_;  // commands not yet sent
    size_t asked_ = 0;          // 0x81 sent or buffered whose answers are not yet pushed by 0x87
    size_t pushed_ = 0;         // answers on their way (0x87 sent) and not yet received
    std::deque<uint8_t> inbox_; // answers received and not yet taken
    std::deque<bool> queued_;   // per queued sample: true when its answer comes from the chip
    uint64_t roundTrips_ = 0;
    uint64_t bytesSent_ = 0;
};

} // namespace tapster
