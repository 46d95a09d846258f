// The usual working order as a user clicks it in a window on the simulated board, and the log it
// writes. The Qt window's test and the Win32 window's test both run these steps through their
// own widgets and compare their logs with the one expectation, window_working_order.log.
#pragma once

#include "test_form.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace tapster::test {

struct WorkingStep {
    const char* widget;
    const char* text = nullptr; // written into the widget instead of a click
    // The boxes the click opens, answered in order: "ok", "no", "file:NAME" (NAME in the start
    // directory, chosen through the file dialog) or "dialog" (the first control box ticked, then
    // "Send").
    std::vector<std::string> answers = {};
    bool abort = false; // "Abort !" clicked in the command's first agent wait (AtAgentWait)
    int pumpMs = 0;     // events processed this long after the click (the monitor's timer)
};

// How much of the working order a cable runs. In process: all of it, with a 64 KiB image (the
// sixteen blocks of the expectation). Over a network (the remote cable), where every TDO answer
// is a round trip and under wine costs about a millisecond under load: without Find Free Mem,
// whose search of RAM and video RAM takes 64 million clocks (150 s over the remote cable even
// natively), and with an 8 KiB image, the first two blocks.
struct WorkingScope {
    const char* imageLength = "10000"; // as txtFlashLen takes it
    bool memSeek = true;
};
constexpr WorkingScope kInProcess{};
constexpr WorkingScope kOverNetwork{.imageLength = "2000", .memSeek = false};

inline std::vector<WorkingStep> WorkingOrder(WorkingScope scope = kInProcess) {
    std::vector<WorkingStep> steps = {
        {"cmdDelay"},
        {"cmdMemSeek"},
        {"cmdLoadTrap"},
        {"cmdInstTrap"},
        {"cmdTakeTrap"},
        {"cmdGetDevCode"},
        {"cmdChipErase", nullptr, {"ok"}},
        {"txtFromAddr", "7FE00000"},
        {"txtFlashLen", scope.imageLength},
        {"cmdWriteFlash", nullptr, {"file:image.bin", "ok"}},
        {"cmdReadToFile", nullptr, {"file:back.bin"}},
        {"cmdWriteFlash", nullptr, {"file:image.bin", "ok", "no"}, true},
        {"cmdStartDCU", nullptr, {}, false, 1200},
        {"cmdChgCtrl", nullptr, {"dialog"}},
        {"cmdStartDCU"},
    };
    if (!scope.memSeek) steps.erase(steps.begin() + 1);
    return steps;
}

// The image the steps write (64 KiB unless told): no run of equal bytes.
inline std::string WorkingImage(WorkingScope scope = kInProcess) {
    std::string bytes(std::stoul(scope.imageLength, nullptr, 16), '\0');
    uint32_t x = 12345;
    for (char& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 24);
    }
    return bytes;
}

// Ten milliseconds pass at every reading and the start-up measures 2394 MHz, so both windows wait
// and measure alike. atTick runs at every reading: the abort click comes from there.
class WorkingOrderClock : public VirtualClock {
  public:
    WorkingOrderClock() {
        counterStep = 1000;
        timeStampStep = 239400;
    }
    uint32_t TickCount() override {
        ticks += 10;
        if (atTick) atTick();
        return ticks;
    }
    std::function<void()> atTick;
};

// Inside an agent wait, where the Abort button is meant for: the click there is the same step of
// the wait in every window.
inline bool AtAgentWait(MainForm& form) {
    return form.Visible("cmdCancel") && form.LastLogLine().rfind("Waiting for release", 0) == 0;
}

inline std::vector<std::string> ReadLogLines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The expected log of a scope: the whole one without Find Free Mem's lines (from the JTAG set-up
// before its first line to the next command's) when it is left out, and without the write blocks
// past the image's end (each a "Writing flash addr" line and its wait).
inline std::vector<std::string> LogForScope(std::vector<std::string> lines, WorkingScope scope) {
    const std::string init = "Initializing JTAG ...";
    const auto seek =
        std::find(lines.begin(), lines.end(), "Trying to find 5kB free memory space...");
    if (!scope.memSeek && seek != lines.end()) {
        const auto from =
            std::find(std::make_reverse_iterator(seek), lines.rend(), init).base() - 1;
        lines.erase(from, std::find(seek, lines.end(), init));
    }
    const unsigned long end = 0x7FE00000 + std::stoul(scope.imageLength, nullptr, 16);
    const std::string writing = "Writing flash addr ";
    std::vector<std::string> kept;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(writing, 0) == 0 &&
            std::stoul(lines[i].substr(writing.size()), nullptr, 16) >= end) {
            ++i; // its "Waiting for release" line
            continue;
        }
        kept.push_back(lines[i]);
    }
    return kept;
}

// Without Find Free Mem the board's CPU has run fewer clocks in its idle loop when the DCU is
// first read, so the workspace address the first dump shows is another word of that loop's
// workspace: that value is left out of the comparison (on both sides).
inline void MaskIdleWorkspace(std::vector<std::string>& lines, WorkingScope scope) {
    const std::string wp = "DCU_WP_ADDRESS ";
    if (scope.memSeek) return;
    for (std::string& line : lines)
        if (line.rfind(wp, 0) == 0) {
            line = wp + "(the idle loop's workspace)";
            return;
        }
}

} // namespace tapster::test
