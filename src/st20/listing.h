// The assembler's listing: every source line with the address and the bytes it produced, then
// the symbols.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tapster::st20 {

struct ListingRow {
    int line = 0; // 1-based source line
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
    bool fill = false; // .align/.space: only the first row of bytes is shown
};

// Bytes shown per listing row; longer statements wrap onto rows of their own.
constexpr size_t kListingBytesPerRow = 8;

// "AAAAAAAA  BB BB ..  source" per line; continuation rows carry their own address and no
// source; a symbol table follows.
std::string FormatListing(const std::vector<std::string_view>& lines,
                          const std::vector<ListingRow>& rows, uint32_t base,
                          const std::map<std::string, uint32_t>& symbols);

// "AAAAAAAA  BB BB .." padded to the width of a full row (shared with the disassembler).
std::string FormatBytesRow(uint32_t address, const uint8_t* bytes, size_t count);

} // namespace tapster::st20
