#include "core/hex.h"

namespace tapster {

uint64_t ParseHex(const std::string& text) {
    uint64_t value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else
            return ~uint64_t{0};
        value = value * 16 + digit;
    }
    return value;
}

bool IsPositiveField(uint64_t parsed) {
    return static_cast<int64_t>(parsed) > 0;
}

std::string Hex8(uint32_t value) {
    return HexMin(value, 8);
}

std::string HexMin(uint32_t value, int minDigits) {
    static const char digits[] = "0123456789ABCDEF";
    char buf[9];
    int n = 0;
    do {
        buf[n++] = digits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    std::string out;
    for (int i = n; i < minDigits; ++i)
        out.push_back('0');
    while (n > 0)
        out.push_back(buf[--n]);
    return out;
}

} // namespace tapster
