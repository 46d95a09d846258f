#include "board/preset.h"

#include "board/flash_chip_table.h"
#include "board/memory_map.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <new>
#include <sstream>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tapster::board {

namespace {

using Json = nlohmann::json;

// Slower chips than a hundred times the data sheet's serve no test.
constexpr uint64_t kMaxBusyPercent = 10000;
// A trace larger than this is no help to anyone and only fills the disk.
constexpr uint64_t kMaxTraceLimitBytes = uint64_t{1} << 30;

std::string Join(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

std::string HexText(uint64_t value) {
    std::ostringstream text;
    text << std::hex << std::uppercase << value;
    return text.str();
}

int Digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

// Remembers the first problem with the path of the field it concerns; the value readers below
// report through it.
class Reader {
  public:
    explicit Reader(std::string& problem) : problem_(problem) {}

    bool Failed() const { return !problem_.empty(); }

    bool Fail(const std::string& path, const std::string& what) {
        if (problem_.empty()) problem_ = path + ": " + what;
        return false;
    }

  private:
    std::string& problem_;
};

// --- Values -------------------------------------------------------------------------------

bool BoolValue(Reader& r, const Json& value, const std::string& where, bool& out) {
    if (!value.is_boolean()) return r.Fail(where, "expected true or false");
    out = value.get<bool>();
    return true;
}

// A whole number from `min` to `max`.
bool NumberValue(Reader& r, const Json& value, const std::string& where, uint64_t min, uint64_t max,
                 uint64_t& out) {
    if (!value.is_number()) return r.Fail(where, "expected a number");
    if (!value.is_number_integer()) return r.Fail(where, "expected a whole number");
    const bool negative = !value.is_number_unsigned() && value.get<int64_t>() < 0;
    const uint64_t n = negative ? 0 : value.get<uint64_t>();
    if (negative || n < min || n > max)
        return r.Fail(where, "expected a whole number from " + std::to_string(min) + " to " +
                                 std::to_string(max));
    out = n;
    return true;
}

// A hex value as a string ("7FE00000", "0x7FE00000") or as a JSON number, at most `max`.
bool HexValue(Reader& r, const Json& value, const std::string& where, uint64_t max, uint64_t& out) {
    uint64_t n = 0;
    if (value.is_number_unsigned()) {
        n = value.get<uint64_t>();
    } else if (value.is_string()) {
        std::string text = value.get<std::string>();
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
            text = text.substr(2);
        if (text.empty() || text.size() > 8)
            return r.Fail(where, "expected up to eight hex digits");
        for (char c : text) {
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                return r.Fail(where, "expected up to eight hex digits");
            n = n * 16 + static_cast<uint64_t>(Digit(c));
        }
    } else {
        return r.Fail(where, "expected a hex string");
    }
    if (n > max) return r.Fail(where, "must be at most " + HexText(max) + " (hex)");
    out = n;
    return true;
}

// A run of bytes as hex digit pairs; blanks between pairs are allowed.
bool BytesValue(Reader& r, const Json& value, const std::string& where, std::vector<uint8_t>& out) {
    if (!value.is_string()) return r.Fail(where, "expected a hex string");
    std::string digits;
    for (char c : value.get<std::string>()) {
        if (c == ' ') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return r.Fail(where, "expected hex digit pairs");
        digits += c;
    }
    if (digits.empty() || digits.size() % 2 != 0) return r.Fail(where, "expected hex digit pairs");
    out.clear();
    for (size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(Digit(digits[i]) * 16 + Digit(digits[i + 1])));
    return true;
}

// A list of hex offsets inside the chip, e.g. sector starts.
bool OffsetsValue(Reader& r, const Json& value, const std::string& where,
                  std::vector<uint32_t>& out) {
    if (!value.is_array()) return r.Fail(where, "expected a list of hex sector offsets");
    out.clear();
    for (size_t i = 0; i < value.size(); ++i) {
        uint64_t offset = 0;
        if (!HexValue(r, value[i], where + "[" + std::to_string(i) + "]", 0xFFFFFFFF, offset))
            return false;
        out.push_back(static_cast<uint32_t>(offset));
    }
    return true;
}

// --- Field tables -------------------------------------------------------------------------

// One key of an object: how its value is read into the object's target. A key is written once,
// here, and the unknown-key check, the "missing" check and the reading all walk the same rows.
template <typename Out> struct Field {
    const char* key;
    bool (*read)(Reader&, const Json&, const std::string& where, Out&) = nullptr;
    bool required = false;
};

template <typename T> struct MemberOf;
template <typename C, typename M> struct MemberOf<M C::*> {
    using Owner = C;
    using Type = M;
};
template <auto member> using OwnerOf = typename MemberOf<decltype(member)>::Owner;
template <auto member> using TypeOf = typename MemberOf<decltype(member)>::Type;

template <auto member>
bool BoolInto(Reader& r, const Json& v, const std::string& where, OwnerOf<member>& out) {
    return BoolValue(r, v, where, out.*member);
}

// A whole number from `min` to `max` (by default the member's whole range).
template <auto member, uint64_t min = 0,
          uint64_t max = static_cast<uint64_t>(std::numeric_limits<TypeOf<member>>::max())>
bool NumberInto(Reader& r, const Json& v, const std::string& where, OwnerOf<member>& out) {
    uint64_t n = 0;
    if (!NumberValue(r, v, where, min, max, n)) return false;
    out.*member = static_cast<TypeOf<member>>(n);
    return true;
}

template <auto member, uint64_t max = std::numeric_limits<TypeOf<member>>::max()>
bool HexInto(Reader& r, const Json& v, const std::string& where, OwnerOf<member>& out) {
    uint64_t n = 0;
    if (!HexValue(r, v, where, max, n)) return false;
    out.*member = static_cast<TypeOf<member>>(n);
    return true;
}

template <auto member>
bool OffsetsInto(Reader& r, const Json& v, const std::string& where, OwnerOf<member>& out) {
    return OffsetsValue(r, v, where, out.*member);
}

template <auto member>
bool BytesInto(Reader& r, const Json& v, const std::string& where, OwnerOf<member>& out) {
    return BytesValue(r, v, where, out.*member);
}

// Keys older presets carry that no longer have an effect: still checked, never stored.
struct Ignored {};
bool IgnoredNumber(Reader& r, const Json& v, const std::string& where, Ignored&) {
    uint64_t n = 0;
    return NumberValue(r, v, where, 0, std::numeric_limits<uint32_t>::max(), n);
}

const Json* Find(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// Reads `json`, an object, into `out` by the rows: unknown keys are an error (a misspelt field
// never goes unnoticed), then a required key that is missing, then each key present in row order.
template <typename Out, size_t n>
bool ReadObject(Reader& r, const Json& json, const std::string& path, const Field<Out> (&rows)[n],
                Out& out) {
    if (!json.is_object()) return r.Fail(path, "expected an object");
    for (const auto& item : json.items()) {
        bool known = false;
        for (const Field<Out>& row : rows)
            known = known || item.key() == row.key;
        if (!known) return r.Fail(Join(path, item.key()), "unknown field");
    }
    for (const Field<Out>& row : rows)
        if (row.required && Find(json, row.key) == nullptr)
            return r.Fail(Join(path, row.key), "missing");
    for (const Field<Out>& row : rows) {
        const Json* value = Find(json, row.key);
        if (value != nullptr && row.read != nullptr &&
            !row.read(r, *value, Join(path, row.key), out))
            return false;
    }
    return true;
}

// A field that is an object of its own, read by its rows.
template <auto member, const auto& rows>
bool ObjectInto(Reader& r, const Json& v, const std::string& where, OwnerOf<member>& out) {
    return ReadObject(r, v, where, rows, out.*member);
}
template <const auto& rows>
bool IgnoredObject(Reader& r, const Json& v, const std::string& where, Ignored& out) {
    return ReadObject(r, v, where, rows, out);
}

// clang-format off
constexpr Field<FaultConfig> kFaultFields[] = {
    {.key = "noTarget",         .read = &BoolInto<&FaultConfig::noTarget>},
    {.key = "tdoStuckLow",      .read = &BoolInto<&FaultConfig::tdoStuckLow>},
    {.key = "tdoToggling",      .read = &BoolInto<&FaultConfig::tdoToggling>},
    {.key = "minWorkingDelay",  .read = &NumberInto<&FaultConfig::minWorkingDelay>},
    {.key = "neverAcknowledge", .read = &BoolInto<&FaultConfig::neverAcknowledge>},
    {.key = "keepsSending",     .read = &BoolInto<&FaultConfig::keepsSending>},
    {.key = "flipEveryBits",    .read = &NumberInto<&FaultConfig::flipEveryBits>},
};

constexpr Field<LinkTiming> kLinkFields[] = {
    {.key = "ackDuringData",    .read = &BoolInto<&LinkTiming::ackDuringData>},
    {.key = "ackDelayClocks",   .read = &NumberInto<&LinkTiming::ackDelayClocks>},
    {.key = "replyDelayClocks", .read = &NumberInto<&LinkTiming::replyDelayClocks>},
};

constexpr Field<FlashFaults> kFlashFaultFields[] = {
    {.key = "neverFinishes", .read = &BoolInto<&FlashFaults::neverFinishes>},
    {.key = "badSectors",    .read = &OffsetsInto<&FlashFaults::badSectors>},
    {.key = "stuckBits",     .read = &HexInto<&FlashFaults::stuckBits>},
    {.key = "stuckFrom",     .read = &HexInto<&FlashFaults::stuckFrom>},
    {.key = "stuckLength",   .read = &HexInto<&FlashFaults::stuckLength>},
};

// The pacing of an agent the board once served itself, in mailbox polls: older presets still
// carry it. Its keys are checked as before and have no effect; the agent runs on the CPU.
constexpr Field<Ignored> kOldAgentFields[] = {
    {.key = "identifyPolls",   .read = &IgnoredNumber},
    {.key = "protectPolls",    .read = &IgnoredNumber},
    {.key = "programPolls",    .read = &IgnoredNumber},
    {.key = "eraseBlockPolls", .read = &IgnoredNumber},
    {.key = "eraseChipPolls",  .read = &IgnoredNumber},
    {.key = "timeLimitPolls",  .read = &IgnoredNumber},
};

bool TraceInto(Reader& r, const Json& v, const std::string& where, CoreSettings& out) {
    if (!v.is_string()) return r.Fail(where, "expected the path of the trace file");
    out.trace = v.get<std::string>();
    return true;
}

constexpr Field<CoreSettings> kCoreFields[] = {
    {.key = "cyclesPerTck",    .read = &NumberInto<&CoreSettings::cyclesPerTck, 1, kMaxCyclesPerTck>},
    {.key = "trace",           .read = &TraceInto},
    {.key = "traceLimitBytes", .read = &NumberInto<&CoreSettings::traceLimitBytes, 0, kMaxTraceLimitBytes>},
    // accepted from older presets, no effect: the CPU runs what is loaded
    {.key = "cppAgent",        .read = [](Reader& r, const Json& v, const std::string& where, CoreSettings&) {
         bool ignored = false;
         return BoolValue(r, v, where, ignored);
     }},
};

constexpr Field<FillArea> kFillFields[] = {
    {.key = "address", .read = &HexInto<&FillArea::address>, .required = true},
    {.key = "length",  .read = &HexInto<&FillArea::length>,  .required = true},
    {.key = "value",   .read = &HexInto<&FillArea::value>,   .required = true},
};

constexpr Field<BytePatch> kPatchFields[] = {
    {.key = "address", .read = &HexInto<&BytePatch::address>, .required = true},
    {.key = "bytes",   .read = &BytesInto<&BytePatch::bytes>, .required = true},
};
// clang-format on

bool ChipInto(Reader& r, const Json& v, const std::string& where, FlashConfig& out) {
    if (v.is_string() && FindFlashChip(v.get<std::string>()) != nullptr) {
        out.chip = v.get<std::string>();
        return true;
    }
    std::string known;
    for (const FlashChipInfo& row : FlashChipTable())
        known += (known.empty() ? "" : ", ") + std::string(row.name);
    return r.Fail(where, "expected the name of a flash chip (" + known + ")");
}

// clang-format off
constexpr Field<FlashConfig> kFlashFields[] = {
    {.key = "chip",             .read = &ChipInto},
    {.key = "base",             .read = &HexInto<&FlashConfig::base>},
    {.key = "protectedSectors", .read = &OffsetsInto<&FlashConfig::protectedSectors>},
    {.key = "writeProtect",     .read = &BoolInto<&FlashConfig::writeProtect>},
    {.key = "busyPercent",      .read = &NumberInto<&FlashConfig::busyPercent, 0, kMaxBusyPercent>},
    {.key = "faults",           .read = &ObjectInto<&FlashConfig::faults, kFlashFaultFields>},
};
// clang-format on

// Sector lists name sector starts of the chosen chip, the stuck range lies inside it, and the
// chip lies below the top of the address space at an even base (it answers on 16-bit words), so
// a mistyped value is refused rather than quietly unused or hanging the flash commands.
void CheckFlash(Reader& r, const FlashConfig& flash) {
    const FlashChipInfo* chip = FindFlashChip(flash.chip);
    if (chip == nullptr) return;
    std::vector<uint32_t> starts;
    uint32_t start = 0;
    for (const SectorRun& run : chip->layout) {
        for (uint32_t i = 0; i < run.count; ++i, start += run.size)
            starts.push_back(start);
    }
    auto check = [&](const std::vector<uint32_t>& offsets, const std::string& where) {
        for (size_t i = 0; i < offsets.size(); ++i) {
            if (std::find(starts.begin(), starts.end(), offsets[i]) == starts.end())
                r.Fail(where + "[" + std::to_string(i) + "]",
                       HexText(offsets[i]) + " is not the start of a sector of " +
                           std::string(chip->name));
        }
    };
    check(flash.protectedSectors, "flash.protectedSectors");
    check(flash.faults.badSectors, "flash.faults.badSectors");
    if (uint64_t{flash.faults.stuckFrom} + flash.faults.stuckLength > chip->Size())
        r.Fail("flash.faults.stuckLength", "runs past the end of the " + std::string(chip->name) +
                                               " (" + HexText(chip->Size()) + " bytes)");
    if (flash.base % 2 != 0)
        r.Fail("flash.base", HexText(flash.base) + " is odd; the chip answers on 16-bit words");
    else if (uint64_t{flash.base} + chip->Size() > (uint64_t{1} << 32))
        r.Fail("flash.base", "the " + std::string(chip->name) + " (" + HexText(chip->Size()) +
                                 " bytes) at " + HexText(flash.base) +
                                 " runs past the top of the address space");
}

bool FlashInto(Reader& r, const Json& v, const std::string& where, BoardConfig& out) {
    if (!ReadObject(r, v, where, kFlashFields, out.flash)) return false;
    CheckFlash(r, out.flash);
    return !r.Failed();
}

bool InMemory(Reader& r, const std::string& where, uint32_t address, uint64_t length) {
    if (length <= 0xFFFFFFFF && MemoryMap::InStorage(address, static_cast<uint32_t>(length)))
        return true;
    return r.Fail(where, "not inside one of the board's memories (DCU window, SRAM, SDRAM, video "
                         "RAM, ROM)");
}

// A list of objects, each read by its rows and then checked to lie in the board's memories.
template <typename Item, size_t n>
bool ListInto(Reader& r, const Json& v, const std::string& where, const Field<Item> (&rows)[n],
              std::vector<Item>& out, uint64_t (*length)(const Item&)) {
    if (!v.is_array()) return r.Fail(where, "expected a list");
    out.clear();
    for (size_t i = 0; i < v.size(); ++i) {
        const std::string path = where + "[" + std::to_string(i) + "]";
        Item item{};
        if (!ReadObject(r, v[i], path, rows, item) ||
            !InMemory(r, path, item.address, length(item)))
            return false;
        out.push_back(std::move(item));
    }
    return true;
}

bool FillsInto(Reader& r, const Json& v, const std::string& where, BoardConfig& out) {
    return ListInto(
        r, v, where, kFillFields, out.fills, +[](const FillArea& f) { return uint64_t{f.length}; });
}
bool PatchesInto(Reader& r, const Json& v, const std::string& where, BoardConfig& out) {
    return ListInto(
        r, v, where, kPatchFields, out.patches,
        +[](const BytePatch& p) { return uint64_t{p.bytes.size()}; });
}
bool OldAgentInto(Reader& r, const Json& v, const std::string& where, BoardConfig&) {
    Ignored ignored;
    return ReadObject(r, v, where, kOldAgentFields, ignored);
}

bool CpuInto(Reader& r, const Json& v, const std::string& where, BoardConfig& out) {
    const std::string name = v.is_string() ? v.get<std::string>() : "";
    if (name != "STi5510" && name != "STi5512" && name != "custom")
        return r.Fail(where, "expected \"STi5510\", \"STi5512\" or \"custom\"");
    out.cpu = name;
    return true;
}

// Read after the CPU (its row comes first).
bool IdcodeInto(Reader& r, const Json& v, const std::string& where, BoardConfig& out) {
    if (out.cpu != "custom")
        return r.Fail(where, "only with cpu \"custom\" (" + out.cpu + " has its own)");
    return HexInto<&BoardConfig::idcode>(r, v, where, out);
}

// A custom CPU needs its IDCODE; the others have their own.
void FinishCpu(Reader& r, const Json& json, BoardConfig& out) {
    if (out.cpu != "custom")
        out.idcode = out.cpu == "STi5512" ? 0x5D406041u : 0x2D4CD041u;
    else if (Find(json, "idcode") == nullptr)
        r.Fail("idcode", "needed when cpu is \"custom\"");
}

// clang-format off
constexpr Field<BoardConfig> kPresetFields[] = {
    {.key = "cpu",        .read = &CpuInto},
    {.key = "idcode",     .read = &IdcodeInto},
    {.key = "cpuClockHz", .read = &NumberInto<&BoardConfig::cpuClockHz, 1>},
    {.key = "fills",      .read = &FillsInto},
    {.key = "patches",    .read = &PatchesInto},
    {.key = "faults",     .read = &ObjectInto<&BoardConfig::faults, kFaultFields>},
    {.key = "link",       .read = &ObjectInto<&BoardConfig::link, kLinkFields>},
    {.key = "flash",      .read = &FlashInto},
    {.key = "agent",      .read = &OldAgentInto},
    {.key = "core",       .read = &ObjectInto<&BoardConfig::core, kCoreFields>},
};
// clang-format on

} // namespace

namespace {

// A preset is a few kilobytes; anything this large is not one (and would cost memory to parse).
constexpr size_t kMaxPresetBytes = 4 << 20;
// Presets nest three levels deep and hold a few hundred values; a deeper or fuller text is
// refused before it is parsed, so the parse's memory stays small.
constexpr int kMaxPresetDepth = 32;
constexpr size_t kMaxPresetValues = 100000;

struct Shape {
    int depth = 0;     // the deepest nesting of arrays and objects
    size_t values = 0; // separators (',' and ':') outside strings: about one per value
};

Shape ShapeOf(const std::string& text) {
    Shape shape;
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            shape.depth = std::max(shape.depth, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        } else if (c == ',' || c == ':') {
            ++shape.values;
        }
    }
    return shape;
}

} // namespace

bool ParsePreset(const std::string& text, const std::string& name, BoardConfig& out,
                 std::string& error) {
    if (text.size() > kMaxPresetBytes) {
        error = name + ": larger than " + std::to_string(kMaxPresetBytes >> 20) +
                " MiB; not a preset file";
        return false;
    }
    const Shape shape = ShapeOf(text);
    if (shape.depth > kMaxPresetDepth) {
        error = name + ": nested deeper than " + std::to_string(kMaxPresetDepth) +
                " levels; not a preset file";
        return false;
    }
    if (shape.values > kMaxPresetValues) {
        error =
            name + ": more than " + std::to_string(kMaxPresetValues) + " values; not a preset file";
        return false;
    }
    Json json;
    try {
        json = Json::parse(text);
    } catch (const std::bad_alloc&) {
        error = name + ": not enough memory to read the preset";
        return false;
    } catch (const Json::exception& e) {
        // "[json.exception.parse_error.101] parse error at line 3, column 5: ..." -> the part
        // after the bracket.
        std::string what = e.what();
        const size_t bracket = what.find("] ");
        if (bracket != std::string::npos) what = what.substr(bracket + 2);
        error = name + ": not valid JSON: " + what;
        return false;
    }
    if (!json.is_object()) {
        error = name + ": expected a JSON object ({ ... }) at the top level";
        return false;
    }

    std::string problem;
    Reader r(problem);
    BoardConfig config;
    if (ReadObject(r, json, "", kPresetFields, config)) FinishCpu(r, json, config);
    if (r.Failed()) {
        error = name + ": " + problem;
        return false;
    }
    out = std::move(config);
    return true;
}

namespace {

// Reads at most `limit` + 1 bytes of a regular file, opened without blocking so that a FIFO or
// a device (/dev/zero) is refused instead of read for ever. False with the reason.
bool ReadRegularFile(const std::string& path, size_t limit, std::string& text,
                     std::string& reason) {
#ifdef _WIN32
    std::FILE* file = std::fopen(path.c_str(), "rb");
    struct _stat64 info {};
    const bool regular = file != nullptr && _fstat64(_fileno(file), &info) == 0 &&
                         (info.st_mode & _S_IFMT) == _S_IFREG;
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    const bool regular = fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (fd >= 0 && regular) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "rb") : nullptr;
    if (fd >= 0 && file == nullptr) ::close(fd);
#endif
    if (file == nullptr || !regular) {
        std::error_code ignored;
        // A folder first: Windows refuses to open one at all.
        reason = std::filesystem::is_directory(path, ignored) ? "a folder, not a preset file"
                 : file == nullptr                            ? "cannot open the preset file"
                                                              : "not a regular file";
        if (file != nullptr) std::fclose(file);
        return false;
    }
    text.resize(limit + 1);
    const size_t got = std::fread(text.data(), 1, text.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    text.resize(got);
    if (failed) reason = "cannot read the preset file";
    return !failed;
}

} // namespace

bool LoadPreset(const std::string& path, BoardConfig& out, std::string& error) {
    std::string text;
    std::string reason;
    if (!ReadRegularFile(path, kMaxPresetBytes, text, reason)) {
        error = path + ": " + reason;
        return false;
    }
    return ParsePreset(text, path, out, error);
}

} // namespace tapster::board
