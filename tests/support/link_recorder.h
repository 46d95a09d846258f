// Every link transaction the simulated board served, in order; word writes with the word that
// landed. Tests read from it what the host wrote where, and in which order it read and wrote.
#pragma once

#include "board/board.h"
#include "core/hex.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace tapster::test {

class LinkRecorder : public board::LinkObserver {
  public:
    struct Access {
        uint32_t address;
        uint32_t length;
        uint32_t word; // the word at address after a 4-byte write
    };

    explicit LinkRecorder(board::TargetBus& bus) : bus_(bus) {}

    void AfterWrite(uint32_t address, uint32_t length) override {
        writes.push_back({address, length, length == 4 ? bus_.Read32(address) : 0});
        sequence.push_back("W" + Hex8(address));
    }
    void BeforeRead(uint32_t address, uint32_t length) override {
        reads.push_back({address, length, 0});
        sequence.push_back("R" + Hex8(address));
    }

    // The words written to `address` by 4-byte writes, in order.
    std::vector<uint32_t> WordsTo(uint32_t address) const {
        std::vector<uint32_t> out;
        for (const Access& w : writes)
            if (w.address == address && w.length == 4) out.push_back(w.word);
        return out;
    }
    // Writes that touch [from, to).
    size_t WritesWithin(uint32_t from, uint32_t to) const {
        return static_cast<size_t>(
            std::count_if(writes.begin(), writes.end(), [&](const Access& w) {
                return w.address < to && w.address + w.length > from;
            }));
    }
    void Clear() {
        writes.clear();
        reads.clear();
        sequence.clear();
    }

    std::vector<Access> writes;
    std::vector<Access> reads;
    // Reads and writes interleaved as they happened: "R00003000", "W0000308C", ...
    std::vector<std::string> sequence;

  private:
    board::TargetBus& bus_;
};

} // namespace tapster::test
