#include "st20/listing.h"

#include <cstdio>

namespace tapster::st20 {

namespace {

void AddLine(std::string& out, std::string line) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    out += line;
    out += '\n';
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

std::string FormatListing(const std::vector<std::string_view>& lines,
                          const std::vector<ListingRow>& rows, uint32_t base,
                          const std::map<std::string, uint32_t>& symbols) {
    std::string out;
    size_t next = 0;
    uint32_t address = base;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int lineNumber = static_cast<int>(i) + 1;
        const ListingRow* row = nullptr;
        if (next < rows.size() && rows[next].line == lineNumber) row = &rows[next++];
        if (!row) {
            AddLine(out, FormatBytesRow(address, nullptr, 0) + "  " + std::string(lines[i]));
            continue;
        }
        address = row->address;
        const size_t count = row->bytes.size();
        const size_t first = count < kListingBytesPerRow ? count : kListingBytesPerRow;
        AddLine(out,
                FormatBytesRow(address, row->bytes.data(), first) + "  " + std::string(lines[i]));
        if (row->fill && count > first) {
            AddLine(out, "          ... " + std::to_string(count - first) + " more bytes");
        } else {
            for (size_t at = first; at < count; at += kListingBytesPerRow) {
                const size_t n =
                    count - at < kListingBytesPerRow ? count - at : kListingBytesPerRow;
                AddLine(out, FormatBytesRow(address + static_cast<uint32_t>(at),
                                            row->bytes.data() + at, n));
            }
        }
        address += static_cast<uint32_t>(count);
    }
    if (!symbols.empty()) {
        out += "\nSymbols:\n";
        char buffer[16];
        for (const auto& [name, value] : symbols) {
            std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(value));
            out += std::string(buffer) + "  " + name + "\n";
        }
    }
    return out;
}

} // namespace tapster::st20
