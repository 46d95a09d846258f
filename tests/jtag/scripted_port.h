// A port backend for engine-level tests: records every register access and answers status reads
// with a TDO sequence chosen by the test (indexed by the number of status reads so far).
#pragma once

#include "port/port_backend.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tapster::test {

class ScriptedPort : public PortBackend {
  public:
    struct Access {
        bool read = false;
        uint16_t port = 0;
        uint8_t value = 0; // written value, or the value returned by a read
    };
    // One TCK rising edge as the cable saw it.
    struct Edge {
        bool tms = false;
        bool tdi = false;
        bool control = false;
        bool sampled = false; // a status read happened since the previous edge
    };

    // TDO for the n-th status read (from 0); TDO low when unset.
    std::function<bool(uint64_t)> tdo;
    // The other status bits returned with TDO; the engine must look at bit 0x10 only.
    uint8_t otherStatusBits = 0xEF;

    std::vector<Access> accesses;
    std::vector<Edge> edges;
    uint64_t reads = 0;

    void WriteRegister(uint16_t port, uint8_t value) override {
        accesses.push_back({false, port, value});
        if ((value & 0x02) != 0 && (last_ & 0x02) == 0)
            edges.push_back(
                {(value & 0x01) != 0, (value & 0x04) != 0, (value & 0x08) != 0, sampledSinceEdge_});
        if ((value & 0x02) != 0) sampledSinceEdge_ = false;
        last_ = value;
    }

    uint8_t ReadRegister(uint16_t port) override {
        const bool bit = tdo ? tdo(reads) : false;
        ++reads;
        sampledSinceEdge_ = true;
        const uint8_t value = static_cast<uint8_t>((otherStatusBits & ~0x10) | (bit ? 0x10 : 0));
        accesses.push_back({true, port, value});
        return value;
    }

    std::string Name() const override { return "scripted port"; }

    // The TDI levels of the recorded edges, from edge `from` on.
    std::vector<int> TdiFrom(size_t from) const {
        std::vector<int> bits;
        for (size_t i = from; i < edges.size(); ++i)
            bits.push_back(edges[i].tdi ? 1 : 0);
        return bits;
    }
    std::vector<int> TmsFrom(size_t from) const {
        std::vector<int> bits;
        for (size_t i = from; i < edges.size(); ++i)
            bits.push_back(edges[i].tms ? 1 : 0);
        return bits;
    }

    void Clear() {
        accesses.clear();
        edges.clear();
    }

  private:
    uint8_t last_ = 0;
    bool sampledSinceEdge_ = false;
};

} // namespace tapster::test
