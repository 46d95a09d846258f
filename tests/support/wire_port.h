// A port backend in front of another that sees every register access on its way to the cable:
// it counts writes, reads and rising TCK edges, folds each access (kind, port, byte) into a
// 64-bit FNV-1a hash, and can copy the accesses to a text file so that two traces can be diffed
// line by line. Shared by the wire-trace and the responsiveness tests.
#pragma once

#include "port/lpt_registers.h"
#include "port/port_backend.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace tapster::test {

class WirePort final : public PortBackend {
  public:
    static constexpr uint64_t kFnvOffset = 0xCBF29CE484222325ull;
    static constexpr uint64_t kFnvPrime = 0x100000001B3ull;

    // What passed the wire since the last Restart.
    struct Totals {
        uint64_t writes = 0;
        uint64_t reads = 0;
        uint64_t clocks = 0; // rising TCK edges on the data register
        uint64_t hash = kFnvOffset;
    };

    explicit WirePort(PortBackend& inner) : inner_(inner) {}

    void WriteRegister(uint16_t port, uint8_t value) override {
        inner_.WriteRegister(port, value);
        ++totals_.writes;
        if (port == kLptDataPort) {
            if ((value & kPinTck) != 0 && (lastData_ & kPinTck) == 0) {
                ++totals_.clocks;
                ++allClocks_;
            }
            lastData_ = value;
        }
        Fold('W', port, value);
    }

    uint8_t ReadRegister(uint16_t port) override {
        const uint8_t value = inner_.ReadRegister(port);
        ++totals_.reads;
        Fold('R', port, value);
        return value;
    }

    bool Acquire(std::string& error) override { return inner_.Acquire(error); }
    void Relinquish() override { inner_.Relinquish(); }
    std::string Name() const override { return inner_.Name(); }
    bool UsesPortInstructions() const override { return inner_.UsesPortInstructions(); }

    // Starts a new section of the trace (the counts and the hash begin afresh); the dump file,
    // when there is one, gets a line "# name".
    void Restart(const std::string& name) {
        totals_ = Totals{};
        if (dump_ != nullptr) std::fprintf(dump_, "# %s\n", name.c_str());
    }
    const Totals& Section() const { return totals_; }
    // Rising TCK edges since construction, across sections.
    uint64_t Clocks() const { return allClocks_; }

    // Copies every access to `file` ("W 378 0A", "R 379 7F"), or stops when null.
    void DumpTo(std::FILE* file) { dump_ = file; }

  private:
    void Fold(char kind, uint16_t port, uint8_t value) {
        const uint8_t bytes[4] = {static_cast<uint8_t>(kind), static_cast<uint8_t>(port >> 8),
                                  static_cast<uint8_t>(port & 0xFF), value};
        for (uint8_t b : bytes)
            totals_.hash = (totals_.hash ^ b) * kFnvPrime;
        if (dump_ != nullptr) std::fprintf(dump_, "%c %03X %02X\n", kind, port, value);
    }

    PortBackend& inner_;
    Totals totals_;
    uint64_t allClocks_ = 0;
    uint8_t lastData_ = 0;
    std::FILE* dump_ = nullptr;
};

} // namespace tapster::test
