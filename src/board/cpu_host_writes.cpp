#include "board/cpu_host_writes.h"

#include <algorithm>
#include <iterator>

namespace tapster::board {

namespace {
constexpr uint64_t kTop = uint64_t{1} << 32;
} // namespace

void HostWrites::AddSpan(uint64_t begin, uint64_t end) {
    // Swallow every span that overlaps or touches [begin, end).
    auto it = spans_.upper_bound(begin);
    if (it != spans_.begin()) {
        auto before = std::prev(it);
        if (before->second >= begin) it = before;
    }
    while (it != spans_.end() && it->first <= end) {
        begin = std::min(begin, it->first);
        end = std::max(end, it->second);
        it = spans_.erase(it);
    }
    spans_.emplace(begin, end);
}

bool HostWrites::CoversSpan(uint64_t begin, uint64_t end) const {
    auto it = spans_.upper_bound(begin);
    if (it == spans_.begin()) return false;
    --it;
    return it->first <= begin && it->second >= end;
}

void HostWrites::Add(uint32_t address, uint32_t length) {
    if (length == 0) return;
    const uint64_t end = uint64_t{address} + length;
    if (end <= kTop) {
        AddSpan(address, end);
    } else { // wrapped past the top of the address space
        AddSpan(address, kTop);
        AddSpan(0, end - kTop);
    }
}

bool HostWrites::Covers(uint32_t address, uint32_t length) const {
    if (length == 0) return true;
    const uint64_t end = uint64_t{address} + length;
    if (end <= kTop) return CoversSpan(address, end);
    return CoversSpan(address, kTop) && CoversSpan(0, end - kTop);
}

} // namespace tapster::board
