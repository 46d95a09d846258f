// The hex field parser against a plain reference, and the display helpers against the parser.
#include "core/hex.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// The rule as a user would state it: all hex digits -> the value modulo 2^64, else all ones.
uint64_t Reference(const std::string& text) {
    static const std::string kDigits = "0123456789abcdef";
    uint64_t value = 0;
    for (char c : text) {
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        const size_t digit = c == '\0' ? std::string::npos : kDigits.find(lower);
        if (digit == std::string::npos) return ~uint64_t{0};
        value = (value << 4) | digit;
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const uint64_t parsed = tapster::ParseHex(text);
    FUZZ_CHECK(parsed == Reference(text));
    // The usual field test refuses the all-ones of a bad character and the 0 of an empty field.
    if (parsed == ~uint64_t{0} || parsed == 0) FUZZ_CHECK(!tapster::IsPositiveField(parsed));

    // Whatever the display helpers print parses back to the value, with the digits asked for.
    if (size >= 5) {
        const uint32_t value =
            static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
            static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
        const int minDigits = data[4] % 12;
        const std::string eight = tapster::Hex8(value);
        FUZZ_CHECK(eight.size() == 8);
        FUZZ_CHECK(tapster::ParseHex(eight) == value);
        const std::string shown = tapster::HexMin(value, minDigits);
        size_t needed = 1;
        while (needed < 8 && (value >> (4 * needed)) != 0)
            ++needed;
        FUZZ_CHECK(
            shown.size() ==
            (needed > static_cast<size_t>(minDigits) ? needed : static_cast<size_t>(minDigits)));
        FUZZ_CHECK(tapster::ParseHex(shown) == value);
        for (char c : shown)
            FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
    }
    return 0;
}
