// The ST20 assembler: source text in, the image, its listing and every error out. Instructions
// whose operand depends on labels (jumps, label differences) are sized iteratively: each starts at
// one byte and only ever grows, so the layout always settles.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "st20/listing.h"

namespace tapster::st20 {

struct AssemblyError {
    std::string file;
    int line = 0;
    std::string message;

    // "file:line: error: message"
    std::string ToString() const;
};

struct AssembleOptions {
    std::string fileName = "<input>"; // named in errors
    uint32_t base = 0;                // address of the image's first byte
    // The listing as text in the result; without it the rows alone are kept, for WriteListing.
    bool listingText = true;
};

struct AssemblyResult {
    std::vector<uint8_t> image;              // empty when there are errors
    std::string listing;                     // empty when there are errors or not asked for
    std::vector<ListingRow> rows;            // each statement's place in the image (WriteListing)
    std::vector<AssemblyError> errors;       // in line order
    std::map<std::string, uint32_t> symbols; // labels and .equ names with their values

    bool Ok() const { return errors.empty(); }
};

// The largest image the assembler makes; a bigger one is an error, not an allocation.
constexpr uint32_t kMaxImageSize = 64u << 20;

AssemblyResult Assemble(std::string_view source, const AssembleOptions& options = {});

} // namespace tapster::st20
