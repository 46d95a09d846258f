#include "port/ftdi_options.h"

#include "core/hex.h"

#include <cstdio>

namespace tapster {

namespace {

bool ParseHex16(const std::string& text, uint16_t& value) {
    if (text.empty() || text.size() > 4) return false;
    const uint64_t parsed = ParseHex(text); // all ones for a character that is no hex digit
    if (parsed > 0xFFFF) return false;
    value = static_cast<uint16_t>(parsed);
    return true;
}

// A free GPIO line, ADBUS4 to ADBUS7 (ADBUS0-3 carry TCK, TDI, TDO and TMS).
bool ParseFreePin(const std::string& text, int& pin) {
    if (text.size() != 1 || text[0] < '4' || text[0] > '7') return false;
    pin = text[0] - '0';
    return true;
}

bool ParseIds(const std::string& text, FtdiOptions& options) {
    const size_t colon = text.find(':');
    uint16_t vid = 0, pid = 0;
    if (colon == std::string::npos || !ParseHex16(text.substr(0, colon), vid) ||
        !ParseHex16(text.substr(colon + 1), pid))
        return false;
    options.ids = {{vid, pid}};
    return true;
}

bool ParseField(const std::string& field, FtdiOptions& options) {
    const size_t eq = field.find('=');
    if (eq == std::string::npos) return false;
    const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
    if (key == "serial") {
        options.serial = value;
        return !value.empty();
    }
    if (key == "interface") {
        if (value != "A" && value != "B") return false;
        options.channel = value == "A" ? 0 : 1;
        return true;
    }
    if (key == "ctl") return ParseFreePin(value, options.ctlPin);
    if (key == "oe") return ParseFreePin(value, options.oePin);
    return false;
}

} // namespace

std::string FtdiIdText(uint16_t vid, uint16_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", vid, pid);
    return text;
}

bool ParseFtdiOptions(const std::string& text, FtdiOptions& options, std::string& error) {
    options = FtdiOptions{};
    bool ok = true;
    for (size_t at = 0; ok && at < text.size();) {
        size_t end = text.find(',', at);
        if (end == std::string::npos) end = text.size();
        const std::string field = text.substr(at, end - at);
        ok = at == 0 && field.find('=') == std::string::npos ? ParseIds(field, options)
                                                             : ParseField(field, options);
        at = end + 1;
        if (ok && end + 1 == text.size()) ok = false; // a trailing comma
    }
    if (!ok) {
        error = "expected ftdi[:VID:PID][,serial=S][,interface=A|B][,ctl=4..7][,oe=4..7]";
        return false;
    }
    if (options.ctlPin == options.oePin) {
        error = "ctl and oe cannot share ADBUS" + std::to_string(options.ctlPin);
        return false;
    }
    return true;
}

} // namespace tapster
