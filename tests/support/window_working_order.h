// The usual working order as a user clicks it in a window on the simulated board, and the log it
// writes. The Qt window's test and the Win32 window's test both run these steps through their
// own widgets and compare their logs with the one expectation, window_working_order.log.
#pragma once

#include "test_form.h"

#include <cstdint>
#include <fstream>
#include <functional>
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

inline const std::vector<WorkingStep>& WorkingOrder() {
    static const std::vector<WorkingStep> steps = {
        {"cmdDelay"},
        {"cmdMemSeek"},
        {"cmdLoadTrap"},
        {"cmdInstTrap"},
        {"cmdTakeTrap"},
        {"cmdGetDevCode"},
        {"cmdChipErase", nullptr, {"ok"}},
        {"txtFromAddr", "7FE00000"},
        {"txtFlashLen", "10000"},
        {"cmdWriteFlash", nullptr, {"file:image.bin", "ok"}},
        {"cmdReadToFile", nullptr, {"file:back.bin"}},
        {"cmdWriteFlash", nullptr, {"file:image.bin", "ok", "no"}, true},
        {"cmdStartDCU", nullptr, {}, false, 1200},
        {"cmdChgCtrl", nullptr, {"dialog"}},
        {"cmdStartDCU"},
    };
    return steps;
}

// The 64 KiB image the steps write: no run of equal bytes.
inline std::string WorkingImage() {
    std::string bytes(0x10000, '\0');
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

} // namespace tapster::test
