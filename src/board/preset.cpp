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
constexpr uint32_t kMaxBusyPercent = 10000;
// A trace larger than this is no help to anyone and only fills the disk.
constexpr uint64_t kMaxTraceLimitBytes = uint64_t{1} << 30;

// Reads one JSON object into the configuration, remembering the first problem with the path
// of the field it concerns.
class Reader {
  public:
    explicit Reader(std::string& problem) : problem(problem) {}

    bool Failed() const { return !problem.empty(); }

    bool Fail(const std::string& path, const std::string& what) {
        if (problem.empty()) problem = path + ": " + what;
        return false;
    }

    // Object fields: unknown keys are an error, so a misspelt field never goes unnoticed.
    bool Object(const Json& value, const std::string& path,
                std::initializer_list<const char*> known) {
        if (!value.is_object()) return Fail(path, "expected an object");
        for (const auto& item : value.items()) {
            bool found = false;
            for (const char* name : known)
                found = found || item.key() == name;
            if (!found) return Fail(Join(path, item.key()), "unknown field");
        }
        return true;
    }

    void Bool(const Json& object, const std::string& path, const char* key, bool& out) {
        const Json* value = Field(object, key);
        if (value == nullptr) return;
        if (!value->is_boolean())
            Fail(Join(path, key), "expected true or false");
        else
            out = value->get<bool>();
    }

    template <typename T>
    void Number(const Json& object, const std::string& path, const char* key, T& out) {
        const Json* value = Field(object, key);
        if (value == nullptr) return;
        const std::string where = Join(path, key);
        if (!value->is_number()) {
            Fail(where, "expected a number");
        } else if (!value->is_number_integer()) {
            Fail(where, "expected a whole number");
        } else if (value->is_number_unsigned()) {
            const auto n = value->get<uint64_t>();
            if (n > static_cast<uint64_t>(std::numeric_limits<T>::max()))
                OutOfRange(where, out);
            else
                out = static_cast<T>(n);
        } else {
            const auto n = value->get<int64_t>();
            if (n < 0)
                OutOfRange(where, out);
            else
                out = static_cast<T>(n);
        }
    }

    // A hex value as a string ("7FE00000", "0x7FE00000") or as a JSON number.
    void Hex(const Json& value, const std::string& where, uint64_t max, uint32_t& out) {
        uint64_t n = 0;
        if (value.is_number_unsigned()) {
            n = value.get<uint64_t>();
        } else if (value.is_string()) {
            std::string text = value.get<std::string>();
            if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
                text = text.substr(2);
            if (text.empty() || text.size() > 8) {
                Fail(where, "expected up to eight hex digits");
                return;
            }
            for (char c : text) {
                if (!std::isxdigit(static_cast<unsigned char>(c))) {
                    Fail(where, "expected up to eight hex digits");
                    return;
                }
                n = n * 16 + static_cast<uint64_t>(Digit(c));
            }
        } else {
            Fail(where, "expected a hex string");
            return;
        }
        if (n > max) {
            std::ostringstream limit;
            limit << std::hex << std::uppercase << max;
            Fail(where, "must be at most " + limit.str() + " (hex)");
            return;
        }
        out = static_cast<uint32_t>(n);
    }
    void HexField(const Json& object, const std::string& path, const char* key, uint64_t max,
                  uint32_t& out) {
        if (const Json* value = Field(object, key)) Hex(*value, Join(path, key), max, out);
    }

    // A run of bytes as hex digit pairs; blanks between pairs are allowed.
    void Bytes(const Json& value, const std::string& where, std::vector<uint8_t>& out) {
        if (!value.is_string()) {
            Fail(where, "expected a hex string");
            return;
        }
        std::string digits;
        for (char c : value.get<std::string>()) {
            if (c == ' ') continue;
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                Fail(where, "expected hex digit pairs");
                return;
            }
            digits += c;
        }
        if (digits.empty() || digits.size() % 2 != 0) {
            Fail(where, "expected hex digit pairs");
            return;
        }
        out.clear();
        for (size_t i = 0; i < digits.size(); i += 2)
            out.push_back(static_cast<uint8_t>(Digit(digits[i]) * 16 + Digit(digits[i + 1])));
    }

    static const Json* Field(const Json& object, const char* key) {
        const auto it = object.find(key);
        return it == object.end() ? nullptr : &*it;
    }
    static std::string Join(const std::string& path, const std::string& key) {
        return path.empty() ? key : path + "." + key;
    }

  private:
    static int Digit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    }
    template <typename T> void OutOfRange(const std::string& where, T&) {
        Fail(where,
             "expected a whole number from 0 to " + std::to_string(std::numeric_limits<T>::max()));
    }

    std::string& problem;
};

void ReadFaults(Reader& r, const Json& json, FaultConfig& out) {
    const std::string path = "faults";
    if (!r.Object(json, path,
                  {"noTarget", "tdoStuckLow", "tdoToggling", "minWorkingDelay", "neverAcknowledge",
                   "keepsSending", "flipEveryBits"}))
        return;
    r.Bool(json, path, "noTarget", out.noTarget);
    r.Bool(json, path, "tdoStuckLow", out.tdoStuckLow);
    r.Bool(json, path, "tdoToggling", out.tdoToggling);
    r.Number(json, path, "minWorkingDelay", out.minWorkingDelay);
    r.Bool(json, path, "neverAcknowledge", out.neverAcknowledge);
    r.Bool(json, path, "keepsSending", out.keepsSending);
    r.Number(json, path, "flipEveryBits", out.flipEveryBits);
}

void ReadLink(Reader& r, const Json& json, LinkTiming& out) {
    const std::string path = "link";
    if (!r.Object(json, path, {"ackDuringData", "ackDelayClocks", "replyDelayClocks"})) return;
    r.Bool(json, path, "ackDuringData", out.ackDuringData);
    r.Number(json, path, "ackDelayClocks", out.ackDelayClocks);
    r.Number(json, path, "replyDelayClocks", out.replyDelayClocks);
}

// A list of hex offsets inside the chip, e.g. sector starts.
void ReadOffsets(Reader& r, const Json& json, const std::string& where,
                 std::vector<uint32_t>& out) {
    if (!json.is_array()) {
        r.Fail(where, "expected a list of hex sector offsets");
        return;
    }
    out.clear();
    for (size_t i = 0; i < json.size() && !r.Failed(); ++i) {
        uint32_t offset = 0;
        r.Hex(json[i], where + "[" + std::to_string(i) + "]", 0xFFFFFFFF, offset);
        out.push_back(offset);
    }
}

void ReadFlashFaults(Reader& r, const Json& json, FlashFaults& out) {
    const std::string path = "flash.faults";
    if (!r.Object(json, path,
                  {"neverFinishes", "badSectors", "stuckBits", "stuckFrom", "stuckLength"}))
        return;
    r.Bool(json, path, "neverFinishes", out.neverFinishes);
    if (const Json* sectors = Reader::Field(json, "badSectors"))
        ReadOffsets(r, *sectors, path + ".badSectors", out.badSectors);
    uint32_t stuck = 0;
    if (const Json* bits = Reader::Field(json, "stuckBits")) {
        r.Hex(*bits, path + ".stuckBits", 0xFFFF, stuck);
        out.stuckBits = static_cast<uint16_t>(stuck);
    }
    r.HexField(json, path, "stuckFrom", 0xFFFFFFFF, out.stuckFrom);
    r.HexField(json, path, "stuckLength", 0xFFFFFFFF, out.stuckLength);
}

std::string HexText(uint32_t value) {
    std::ostringstream text;
    text << std::hex << std::uppercase << value;
    return text.str();
}

// Sector lists name sector starts of the chosen chip, and the stuck range lies inside it, so a
// mistyped offset is refused rather than quietly unused.
void CheckFlashOffsets(Reader& r, const FlashConfig& flash) {
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
}

void ReadFlash(Reader& r, const Json& json, FlashConfig& out) {
    const std::string path = "flash";
    if (!r.Object(json, path,
                  {"chip", "base", "protectedSectors", "writeProtect", "busyPercent", "faults"}))
        return;
    if (const Json* chip = Reader::Field(json, "chip")) {
        if (!chip->is_string() || FindFlashChip(chip->get<std::string>()) == nullptr) {
            std::string known;
            for (const FlashChipInfo& row : FlashChipTable())
                known += (known.empty() ? "" : ", ") + std::string(row.name);
            r.Fail("flash.chip", "expected the name of a flash chip (" + known + ")");
        } else {
            out.chip = chip->get<std::string>();
        }
    }
    r.HexField(json, path, "base", 0xFFFFFFFF, out.base);
    if (const Json* sectors = Reader::Field(json, "protectedSectors"))
        ReadOffsets(r, *sectors, "flash.protectedSectors", out.protectedSectors);
    r.Bool(json, path, "writeProtect", out.writeProtect);
    r.Number(json, path, "busyPercent", out.busyPercent);
    if (out.busyPercent > kMaxBusyPercent)
        r.Fail("flash.busyPercent", "must be at most " + std::to_string(kMaxBusyPercent));
    if (const Json* faults = Reader::Field(json, "faults"); faults != nullptr && !r.Failed())
        ReadFlashFaults(r, *faults, out.faults);
    if (!r.Failed()) CheckFlashOffsets(r, out);
    // The chip answers on 16-bit words and must lie below the top of the address space.
    const FlashChipInfo* chip = FindFlashChip(out.chip);
    if (r.Failed() || chip == nullptr) return;
    if (out.base % 2 != 0)
        r.Fail("flash.base", HexText(out.base) + " is odd; the chip answers on 16-bit words");
    else if (uint64_t{out.base} + chip->Size() > (uint64_t{1} << 32))
        r.Fail("flash.base", "the " + std::string(chip->name) + " (" + HexText(chip->Size()) +
                                 " bytes) at " + HexText(out.base) +
                                 " runs past the top of the address space");
}

// The pacing of an agent the board once served itself, in mailbox polls: older presets still
// carry it. Its keys are checked as before and have no effect; the agent runs on the CPU.
void ReadOldAgentPacing(Reader& r, const Json& json) {
    const std::string path = "agent";
    const std::initializer_list<const char*> keys = {"identifyPolls",  "protectPolls",
                                                     "programPolls",   "eraseBlockPolls",
                                                     "eraseChipPolls", "timeLimitPolls"};
    if (!r.Object(json, path, keys)) return;
    for (const char* key : keys) {
        uint32_t ignored = 0;
        r.Number(json, path, key, ignored);
    }
}

void ReadCore(Reader& r, const Json& json, CoreSettings& out) {
    const std::string path = "core";
    if (!r.Object(json, path, {"cyclesPerTck", "trace", "traceLimitBytes", "cppAgent"})) return;
    r.Number(json, path, "cyclesPerTck", out.cyclesPerTck);
    if (r.Failed()) return;
    if (out.cyclesPerTck == 0 || out.cyclesPerTck > kMaxCyclesPerTck) {
        r.Fail("core.cyclesPerTck",
               "expected a whole number from 1 to " + std::to_string(kMaxCyclesPerTck));
        return;
    }
    if (const Json* trace = Reader::Field(json, "trace")) {
        if (!trace->is_string())
            r.Fail("core.trace", "expected the path of the trace file");
        else
            out.trace = trace->get<std::string>();
    }
    r.Number(json, path, "traceLimitBytes", out.traceLimitBytes);
    if (out.traceLimitBytes > kMaxTraceLimitBytes)
        r.Fail("core.traceLimitBytes",
               "must be at most " + std::to_string(kMaxTraceLimitBytes) + " (1 GiB)");
    bool ignored = false; // accepted from older presets, no effect: the CPU runs what is loaded
    r.Bool(json, path, "cppAgent", ignored);
}

void CheckInMemory(Reader& r, const std::string& where, uint32_t address, uint64_t length) {
    if (length > 0xFFFFFFFF || !MemoryMap::InStorage(address, static_cast<uint32_t>(length)))
        r.Fail(where, "not inside one of the board's memories (DCU window, SRAM, SDRAM, video "
                      "RAM, ROM)");
}

void ReadFills(Reader& r, const Json& json, std::vector<FillArea>& out) {
    if (!json.is_array()) {
        r.Fail("fills", "expected a list");
        return;
    }
    out.clear();
    for (size_t i = 0; i < json.size() && !r.Failed(); ++i) {
        const std::string path = "fills[" + std::to_string(i) + "]";
        const Json& item = json[i];
        if (!r.Object(item, path, {"address", "length", "value"})) return;
        for (const char* key : {"address", "length", "value"}) {
            if (Reader::Field(item, key) == nullptr) r.Fail(Reader::Join(path, key), "missing");
        }
        FillArea fill;
        uint32_t value = 0;
        r.HexField(item, path, "address", 0xFFFFFFFF, fill.address);
        r.HexField(item, path, "length", 0xFFFFFFFF, fill.length);
        r.HexField(item, path, "value", 0xFF, value);
        if (r.Failed()) return;
        fill.value = static_cast<uint8_t>(value);
        CheckInMemory(r, path, fill.address, fill.length);
        out.push_back(fill);
    }
}

void ReadPatches(Reader& r, const Json& json, std::vector<BytePatch>& out) {
    if (!json.is_array()) {
        r.Fail("patches", "expected a list");
        return;
    }
    out.clear();
    for (size_t i = 0; i < json.size() && !r.Failed(); ++i) {
        const std::string path = "patches[" + std::to_string(i) + "]";
        const Json& item = json[i];
        if (!r.Object(item, path, {"address", "bytes"})) return;
        for (const char* key : {"address", "bytes"}) {
            if (Reader::Field(item, key) == nullptr) r.Fail(Reader::Join(path, key), "missing");
        }
        BytePatch patch;
        r.HexField(item, path, "address", 0xFFFFFFFF, patch.address);
        if (const Json* bytes = Reader::Field(item, "bytes"))
            r.Bytes(*bytes, path + ".bytes", patch.bytes);
        if (r.Failed()) return;
        CheckInMemory(r, path, patch.address, patch.bytes.size());
        out.push_back(std::move(patch));
    }
}

void ReadCpu(Reader& r, const Json& json, BoardConfig& out) {
    if (const Json* cpu = Reader::Field(json, "cpu")) {
        const std::string name = cpu->is_string() ? cpu->get<std::string>() : "";
        if (name != "STi5510" && name != "STi5512" && name != "custom") {
            r.Fail("cpu", "expected \"STi5510\", \"STi5512\" or \"custom\"");
            return;
        }
        out.cpu = name;
    }
    const Json* idcode = Reader::Field(json, "idcode");
    if (out.cpu == "custom") {
        if (idcode == nullptr)
            r.Fail("idcode", "needed when cpu is \"custom\"");
        else
            r.Hex(*idcode, "idcode", 0xFFFFFFFF, out.idcode);
    } else if (idcode != nullptr) {
        r.Fail("idcode", "only with cpu \"custom\" (" + out.cpu + " has its own)");
    } else {
        out.idcode = out.cpu == "STi5512" ? 0x5D406041u : 0x2D4CD041u;
    }
}

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
    r.Object(json, "",
             {"cpu", "idcode", "cpuClockHz", "fills", "patches", "faults", "link", "flash", "agent",
              "core"});
    if (!r.Failed()) ReadCpu(r, json, config);
    if (!r.Failed()) {
        r.Number(json, "", "cpuClockHz", config.cpuClockHz);
        if (config.cpuClockHz == 0) r.Fail("cpuClockHz", "must be above 0");
    }
    if (const Json* v = Reader::Field(json, "fills"); v != nullptr && !r.Failed())
        ReadFills(r, *v, config.fills);
    if (const Json* v = Reader::Field(json, "patches"); v != nullptr && !r.Failed())
        ReadPatches(r, *v, config.patches);
    if (const Json* v = Reader::Field(json, "faults"); v != nullptr && !r.Failed())
        ReadFaults(r, *v, config.faults);
    if (const Json* v = Reader::Field(json, "link"); v != nullptr && !r.Failed())
        ReadLink(r, *v, config.link);
    if (const Json* v = Reader::Field(json, "flash"); v != nullptr && !r.Failed())
        ReadFlash(r, *v, config.flash);
    if (const Json* v = Reader::Field(json, "agent"); v != nullptr && !r.Failed())
        ReadOldAgentPacing(r, *v);
    if (const Json* v = Reader::Field(json, "core"); v != nullptr && !r.Failed())
        ReadCore(r, *v, config.core);
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
