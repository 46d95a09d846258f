// A cable far away, in process: a read queued with QueueSample happens on the inner backend at
// that point of the access stream, as a remote server does it, but its answer is handed back
// only when asked for, and up to `size` may wait. It counts the round trips a remote cable would
// make (asking for an answer that was queued after the last wait sends everything queued and
// waits for it), and folds every access it passes on into a hash, so that two runs can be
// compared access by access.
#pragma once

#include "port/port_backend.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>

namespace tapster::test {

class QueuedPort final : public PortBackend {
  public:
    QueuedPort(PortBackend& inner, size_t size) : inner_(inner), size_(size) {}

    void WriteRegister(uint16_t port, uint8_t value) override {
        Fold('W', port, value);
        inner_.WriteRegister(port, value);
    }
    uint8_t ReadRegister(uint16_t port) override {
        ++roundTrips_; // a plain read waits for its own answer
        inHand_ = queued_;
        const uint8_t value = inner_.ReadRegister(port);
        Fold('R', port, value);
        return value;
    }
    void QueueSample(uint16_t port) override {
        const uint8_t value = inner_.ReadRegister(port);
        Fold('R', port, value);
        answers_.push_back(value);
        ++queued_;
        if (answers_.size() > size_) ++overflows_;
        maxWaiting_ = std::max(maxWaiting_, answers_.size());
    }
    uint8_t ReadSample() override {
        if (answers_.empty()) {
            ++overflows_; // asked for more than was queued
            return 0xFF;
        }
        if (taken_ >= inHand_) {
            ++roundTrips_;
            inHand_ = queued_;
        }
        ++taken_;
        const uint8_t value = answers_.front();
        answers_.pop_front();
        return value;
    }
    size_t SampleBufferSize() const override { return size_; }
    bool Acquire(std::string& error) override { return inner_.Acquire(error); }
    void Relinquish() override { inner_.Relinquish(); }
    std::string Name() const override { return inner_.Name(); }

    uint64_t RoundTrips() const { return roundTrips_; }
    // Samples queued beyond the buffer size, or asked for without being queued: must stay 0.
    uint64_t Overflows() const { return overflows_; }
    size_t MaxWaiting() const { return maxWaiting_; }
    size_t Unread() const { return answers_.size(); }
    uint64_t Accesses() const { return accesses_; }
    uint64_t Hash() const { return hash_; }

  private:
    void Fold(char kind, uint16_t port, uint8_t value) {
        ++accesses_;
        const uint8_t bytes[4] = {static_cast<uint8_t>(kind), static_cast<uint8_t>(port >> 8),
                                  static_cast<uint8_t>(port & 0xFF), value};
        for (uint8_t b : bytes)
            hash_ = (hash_ ^ b) * 0x100000001B3ull;
    }

    PortBackend& inner_;
    size_t size_;
    std::deque<uint8_t> answers_;
    uint64_t queued_ = 0;
    uint64_t taken_ = 0;
    uint64_t inHand_ = 0; // samples whose answers have arrived
    uint64_t roundTrips_ = 0;
    uint64_t overflows_ = 0;
    size_t maxWaiting_ = 0;
    uint64_t accesses_ = 0;
    uint64_t hash_ = 0xCBF29CE484222325ull;
};

} // namespace tapster::test
