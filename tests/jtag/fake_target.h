// A small target behind the port for link and agent tests: a full 1149.1 TAP controller with a
// 5-bit IR (IDCODE 0x02, BYPASS 0x1F, the link register 0x10) and a link target that decodes the
// host's byte frames, acknowledges them and answers block reads from a sparse memory. Its faults
// are the ones the link layer must cope with: late or missing acknowledges, short replies, odd
// length bytes, a target that keeps sending, stuck or toggling TDO.
#pragma once

#include "port/port_backend.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace tapster::test {

class FakeTarget : public PortBackend {
  public:
    enum class TdoMode { Normal, StuckLow, StuckHigh, Toggling };
    enum class AckMode {
        DuringData,  // 0 then 1 on TDO during the host's first two data clocks
        FirstSample, // a 1 on the very first data sample
        AfterData,   // 0, 1, 0 after d7, preceded by ackDelay zeros
        Never,
    };

    struct Transaction {
        uint8_t command = 0;
        uint32_t address = 0;
        std::vector<uint8_t> data; // bytes written (write commands)
        bool complete = false;
    };
    struct Edge {
        bool tms = false;
        bool tdi = false;
        bool control = false;
        bool linkClock = false; // a clock of the link register's Shift-DR
    };
    struct LineChange {
        bool high = false;
        uint32_t tick = 0; // platform tick count when it changed
    };

    // --- Configuration -------------------------------------------------------------------
    uint32_t idcode = 0x2D4CD041;
    TdoMode tdoMode = TdoMode::Normal;
    AckMode ackMode = AckMode::DuringData;
    uint32_t ackDelay = 0;    // AfterData: zeros before the acknowledge
    uint32_t replyDelay = 4;  // zeros between the last address byte and the reply
    int noAckAtByte = -1;     // host byte index in a transaction left unacknowledged
    int lengthByte = 0x00;    // length byte of read replies
    int replyBytes = -1;      // data bytes actually sent (-1: as the length byte says)
    uint64_t keepSending = 0; // bytes sent unasked as soon as the link scan is entered
    static constexpr uint64_t kEndless = std::numeric_limits<uint64_t>::max();
    std::function<uint8_t(uint64_t)> keptByte = [](uint64_t i) {
        return static_cast<uint8_t>(i + 0x30);
    };
    bool recordEdges = true;

    // Called after the bytes of a write landed in memory, and before a read reply is built.
    std::function<void(uint32_t address, uint32_t length)> afterWrite;
    std::function<void(uint32_t address, uint32_t length)> beforeRead;

    // --- Memory ----------------------------------------------------------------------------
    std::map<uint32_t, uint8_t> memory; // unset bytes read as 0
    uint8_t Read8(uint32_t a) const;
    uint32_t Read32(uint32_t a) const;
    void Write32(uint32_t a, uint32_t v);

    // --- What happened ---------------------------------------------------------------------
    std::vector<Transaction> transactions;
    std::vector<Edge> edges;
    std::vector<LineChange> lineChanges;
    uint64_t keptSent = 0; // kept-sending bytes put on TDO so far

    // Writes of 4-byte values at `address` (command 0x04 or a 4-byte block), in order.
    std::vector<uint32_t> WordsWrittenTo(uint32_t address) const;
    // Link clocks recorded from edge `from` on.
    size_t LinkClocksFrom(size_t from) const;

    void WriteRegister(uint16_t port, uint8_t value) override;
    uint8_t ReadRegister(uint16_t port) override;
    std::string Name() const override { return "fake target"; }

  private:
    enum class Tap {
        Reset,
        Idle,
        SelDr,
        CapDr,
        ShDr,
        Ex1Dr,
        PauseDr,
        Ex2Dr,
        UpdDr,
        SelIr,
        CapIr,
        ShIr,
        Ex1Ir,
        PauseIr,
        Ex2Ir,
        UpdIr
    };
    static Tap Next(Tap s, bool tms);

    void RisingEdge(bool tms, bool tdi);
    void LinkClock(bool tdi);
    void HostByte(uint8_t byte);
    void PushFrame(uint8_t byte);
    void ResetLink();
    bool PopOut();

    uint8_t lastWrite_ = 0;
    bool haveWritten_ = false;
    bool present_ = false; // TDO the host samples next
    bool toggle_ = false;
    Tap state_ = Tap::Reset;
    uint32_t ir_ = 0x02, irShift_ = 0;
    uint32_t dr_ = 0;

    // Link: host frame decoding and the TDO queue.
    std::deque<bool> out_;
    unsigned rxWindow_ = 0;
    int rxBit_ = -1; // -1: looking for a start, else the data bit index
    uint8_t rxByte_ = 0;
    int byteIndex_ = 0; // of the current transaction
    bool inTransaction_ = false;
};

} // namespace tapster::test
