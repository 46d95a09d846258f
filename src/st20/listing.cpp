#include "st20/listing.h"

#include <cstdio>

namespace tapster::st20 {

namespace {

// Text handed to the sink at about this size.
constexpr size_t kPiece = 64 << 10;

void AddLine(std::string& out, std::string_view line) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    out += line;
    out += '\n';
}

void AddRow(std::string& out, uint32_t address, const uint8_t* bytes, size_t count,
            std::string_view source) {
    std::string row = FormatBytesRow(address, bytes, count);
    row += "  ";
    row += source;
    AddLine(out, row);
}

} // namespace

std::string FormatBytesRow(uint32_t address, const uint8_t* bytes, size_t count) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X ", static_cast<unsigned>(address));
    std::string row = buffer;
    for (size_t i = 0; i < kListingBytesPerRow; ++i) {
        if (i < count) {
            std::snprintf(buffer, sizeof buffer, " %02X", bytes[i]);
            row += buffer;
        } else {
            row += "   ";
        }
    }
    return row;
}

bool WriteListing(std::string_view source, const std::vector<ListingRow>& rows,
                  const std::vector<uint8_t>& image, uint32_t base,
                  const std::map<std::string, uint32_t>& symbols, const TextSink& sink) {
    std::string out;
    const auto flushIfFull = [&]() {
        if (out.size() < kPiece) return true;
        const bool ok = sink(out);
        out.clear();
        return ok;
    };
    size_t next = 0;
    uint32_t address = base;
    for (int lineNumber = 1; !source.empty(); ++lineNumber) {
        const size_t end = source.find('\n');
        std::string_view line = source.substr(0, end);
        source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const ListingRow* row = nullptr;
        if (next < rows.size() && rows[next].line == lineNumber) row = &rows[next++];
        if (!row) {
            AddRow(out, address, nullptr, 0, line);
            if (!flushIfFull()) return false;
            continue;
        }
        address = row->address;
        const uint8_t* bytes = image.data() + (row->address - base);
        const size_t count = row->size;
        const size_t first = count < kListingBytesPerRow ? count : kListingBytesPerRow;
        AddRow(out, address, bytes, first, line);
        if (row->fill && count > first) {
            AddLine(out, "          ... " + std::to_string(count - first) + " more bytes");
        } else {
            for (size_t at = first; at < count; at += kListingBytesPerRow) {
                const size_t n =
                    count - at < kListingBytesPerRow ? count - at : kListingBytesPerRow;
                AddLine(out, FormatBytesRow(address + static_cast<uint32_t>(at), bytes + at, n));
                if (!flushIfFull()) return false;
            }
        }
        if (!flushIfFull()) return false;
        address += static_cast<uint32_t>(count);
    }
    if (!symbols.empty()) {
        out += "\nSymbols:\n";
        char buffer[16];
        for (const auto& [name, value] : symbols) {
            std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(value));
            out += std::string(buffer) + "  " + name + "\n";
            if (!flushIfFull()) return false;
        }
    }
    return out.empty() || sink(out);
}

} // namespace tapster::st20
