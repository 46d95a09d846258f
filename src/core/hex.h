// Hex fields and hex display as every command uses them.
#pragma once

#include <cstdint>
#include <string>

namespace tapster {

// Parses a hex field: every character must be a hex digit (either case), otherwise the whole
// result is all ones; an empty text gives 0; more than sixteen digits wrap modulo 2^64.
uint64_t ParseHex(const std::string& text);

// True when the parsed value, read as a signed 64-bit number, is greater than zero. This is the
// usual field test: it refuses an empty field (0) and a field with a bad character (all ones).
bool IsPositiveField(uint64_t parsed);

// Eight upper-case hex digits, no prefix.
std::string Hex8(uint32_t value);

// Upper-case hex with at least `minDigits` digits (more when the value needs them).
std::string HexMin(uint32_t value, int minDigits);

} // namespace tapster
