// A model of an FTDI H-series chip's MPSSE behind the FtdiLink seam, with a port backend (the
// simulated board) on its pins: ADBUS0 TCK, ADBUS1 TDI, ADBUS2 TDO, ADBUS3 TMS and the control
// line on a free pin become the data register's TCK, TDI, TMS and control bits; a 0x81 reads the
// board's status register for TDO. It executes the opcodes as a real chip would and keeps a list
// of what a real chip would refuse or choke on: answers read that no 0x87 sent, writes larger
// than its buffer, more unread answers than it can hold, a direction byte that drives TDO.
#pragma once

#include "port/ftdi_link.h"
#include "port/port_backend.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace tapster::test {

class MpsseModel : public FtdiLink {
  public:
    // The chip answers to `vid`:`pid` and buffers `bufferSize` bytes each way (FT2232H: 4096).
    explicit MpsseModel(PortBackend& pins, int ctlPin = 4, uint16_t vid = 0x0403,
                        uint16_t pid = 0x6010, size_t bufferSize = 4096);

    bool Open(const FtdiTarget& target, FtdiDevice& device) override;
    int Write(const uint8_t* data, size_t size) override;
    int Read(uint8_t* data, size_t size) override;
    void Flush() override;
    void Close() override;
    std::string ErrorText() const override { return error_; }

    // The cable is pulled out after `bytes` more command bytes: from then on nothing is executed
    // or answered, and it cannot be opened again.
    void UnplugAfter(uint64_t bytes) { unplugAfter_ = bytes; }
    void SetPresent(bool present) { present_ = present; }
    // Also prints each refusal to `file` as it happens.
    void ReportTo(std::FILE* file) { report_ = file; }

    // What a real chip would not have done; empty on a well-behaved host.
    const std::vector<std::string>& Refusals() const { return refusals_; }
    uint64_t WriteCalls() const { return writeCalls_; }
    uint64_t BytesWritten() const { return bytesWritten_; }
    // Read calls that found answers waiting (the waits of the host).
    uint64_t AnsweredReads() const { return answeredReads_; }

  private:
    void Execute(uint8_t byte);
    void Run(const std::vector<uint8_t>& command);
    void SetLow(uint8_t value, uint8_t direction);
    void Answer(uint8_t byte);
    void Refuse(const std::string& what);

    PortBackend& pins_;
    int ctlPin_;
    uint16_t vid_, pid_;
    size_t bufferSize_;
    bool present_ = true;
    bool open_ = false;
    uint64_t unplugAfter_ = UINT64_MAX;
    std::string error_;
    std::FILE* report_ = nullptr;
    std::vector<uint8_t> partial_; // a command whose operands have not all arrived
    uint8_t low_ = 0, lowDirection_ = 0, high_ = 0, highDirection_ = 0;
    std::deque<uint8_t> produced_; // answers not yet sent (no 0x87 since)
    std::deque<uint8_t> sent_;     // answers on their way to the host
    std::vector<std::string> refusals_;
    uint64_t writeCalls_ = 0, bytesWritten_ = 0, answeredReads_ = 0;
};

} // namespace tapster::test
