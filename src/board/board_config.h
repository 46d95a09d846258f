// Everything a preset can choose about the simulated board. The built-in default is what a
// default-constructed BoardConfig holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tapster::board {

struct FillArea {
    uint32_t address = 0;
    uint32_t length = 0;
    uint8_t value = 0xFF;
};

struct BytePatch {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

struct FaultConfig {
    bool noTarget = false;         // TDO reads 1 always
    bool tdoStuckLow = false;      // TDO stuck at 0
    bool tdoToggling = false;      // TDO toggles on every clock
    int32_t minWorkingDelay = 0;   // the cable only works when TCK stays high this long (see board)
    bool neverAcknowledge = false; // the target never acknowledges a byte
    bool keepsSending = false;     // the target sends bytes without end
    uint32_t flipEveryBits = 0;    // 0: off; N: every Nth TDO bit is inverted
};

struct LinkTiming {
    bool ackDuringData = true;     // acknowledge during the data bits, else after the last bit
    uint32_t ackDelayClocks = 0;   // extra clocks before a late acknowledge
    uint32_t replyDelayClocks = 4; // clocks between a command and the first reply byte
};

// The board's CPU clock unless a preset says otherwise; the flash chip counts its busy times in
// these cycles.
constexpr uint32_t kDefaultCpuClockHz = 40'000'000;

// Faults a preset can give the flash chip.
struct FlashFaults {
    bool neverFinishes = false;         // program, erase and lock operations never finish
    std::vector<uint32_t> badSectors{}; // offsets in sectors where program and erase fail
    uint16_t stuckBits = 0;             // data bits that stay 1 when programmed
    uint32_t stuckFrom = 0;             // the byte range where stuckBits applies
    uint32_t stuckLength = 0;           // 0: the whole chip
};

struct FlashConfig {
    std::string chip = "AM29LV160DB"; // a row of the flash chip table
    uint32_t base = 0x7FE00000;
    std::vector<uint32_t> protectedSectors; // sector start offsets from base
    bool writeProtect = true;               // WP# held low
    uint32_t busyPercent = 1; // busy times in percent of the data sheet's (see presets doc)
    FlashFaults faults;
};

// The CPU and its time. The core advances only with the host's TCK clocks: each clock of the
// cable is cyclesPerTck CPU cycles (a 40 MHz ST20 under a parallel-port cable clocked near
// 250 kHz gives about 160; the default is lower so the whole flash workflow stays quick).
inline constexpr uint32_t kMaxCyclesPerTck = 100000;

struct CoreSettings {
    uint32_t cyclesPerTck = 64;
    std::string trace; // file for a trace of every executed instruction; empty: none
    uint64_t traceLimitBytes = 64ull << 20; // the trace stops with a last line saying so
    // A file of the trace's name is replaced only when the board's own command line named it:
    // a preset's trace is always a new file.
    bool traceReplaces = false;
};

struct BoardConfig {
    std::string cpu = "STi5510";  // "STi5510", "STi5512" or "custom"
    uint32_t idcode = 0x2D4CD041; // derived from cpu unless cpu is "custom"
    uint32_t cpuClockHz = kDefaultCpuClockHz;
    std::vector<FillArea> fills;    // applied in order over the default contents
    std::vector<BytePatch> patches; // applied after the fills
    FaultConfig faults;
    LinkTiming link;
    FlashConfig flash;
    CoreSettings core;
};

} // namespace tapster::board
