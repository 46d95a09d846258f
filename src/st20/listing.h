// The assembler's listing: every source line with the address and the bytes it produced, then
// the symbols.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tapster::st20 {

// One statement's place in the image: its bytes are image[address - base, + size).
struct ListingRow {
    int line = 0; // 1-based source line
    uint32_t address = 0;
    uint32_t size = 0;
    bool fill = false; // .align/.space: only the first row of bytes is shown
};

// Bytes shown per listing row; longer statements wrap onto rows of their own.
constexpr size_t kListingBytesPerRow = 8;

// Takes the listing a piece at a time; false stops it (the text could not be written).
using TextSink = std::function<bool(std::string_view text)>;

// "AAAAAAAA  BB BB ..  source" per line; continuation rows carry their own address and no
// source; a symbol table follows. The rows are in line order. The text goes to `sink` in pieces
// of some kilobytes, so a long listing never lies in memory whole; false when the sink refused.
bool WriteListing(std::string_view source, const std::vector<ListingRow>& rows,
                  const std::vector<uint8_t>& image, uint32_t base,
                  const std::map<std::string, uint32_t>& symbols, const TextSink& sink);

// "AAAAAAAA  BB BB .." padded to the width of a full row (shared with the disassembler).
std::string FormatBytesRow(uint32_t address, const uint8_t* bytes, size_t count);

} // namespace tapster::st20
