// The target bytes the host has written through the link: a set of address intervals. The CPU
// uses it to tell a loaded trap routine from whatever RAM held before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

namespace tapster::board {

class HostWrites {
  public:
    void Add(uint32_t address, uint32_t length);
    // True when every byte of [address, address + length) was written (length 0: true).
    bool Covers(uint32_t address, uint32_t length) const;
    void Clear() { spans_.clear(); }
    size_t SpanCount() const { return spans_.size(); }

  private:
    void AddSpan(uint64_t begin, uint64_t end);
    bool CoversSpan(uint64_t begin, uint64_t end) const;

    std::map<uint64_t, uint64_t> spans_; // begin -> end, disjoint and not touching
};

} // namespace tapster::board
