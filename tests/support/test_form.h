// A main window for tests: the plain widget store, scripted answers to every box and dialog,
// and a virtual clock that advances while events are processed, so waits cost no real time.
#pragma once

#include "core/widget_store.h"
#include "port/platform.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tapster::test {

class VirtualClock : public platform::Clock {
  public:
    uint32_t TickCount() override { return ticks; }
    bool PerformanceFrequency(int64_t& f) override {
        f = frequency;
        return frequencyOk;
    }
    bool PerformanceCounter(int64_t& c) override {
        c = counter;
        counter += counterStep;
        return counterOk;
    }
    uint32_t TimeStampLow() override {
        uint32_t v = timeStamp;
        timeStamp += timeStampStep;
        return v;
    }

    uint32_t ticks = 1000;
    int64_t frequency = 10000000;
    int64_t counter = 0;
    int64_t counterStep = 0;
    bool frequencyOk = true;
    bool counterOk = true;
    uint32_t timeStamp = 0;
    uint32_t timeStampStep = 0;
};

class TestForm : public WidgetStore {
  public:
    TestForm();
    ~TestForm() override;

    // Scripted answers, taken in order. A box with no answer queued fails the test.
    std::deque<bool> warningAnswers;     // true = OK
    std::deque<bool> yesNoAnswers;       // true = Yes
    std::deque<std::string> files;       // "" = cancel
    std::deque<bool> dialogAnswers;      // true = Send (the dialog state decides the value)
    std::function<void()> onDialogShown; // lets a test tick boxes while the dialog is open
    // A user who confirms everything (the benchmarks): with nothing queued, every warning and
    // question is answered OK or Yes and every file dialog offers `everyFile`.
    bool confirmEverything = false;
    std::string everyFile;

    // What the user saw.
    std::vector<std::string> errorBoxes;
    std::vector<std::string> questions;
    std::vector<std::string> statuses; // ShowStatus, in order

    // Called on every ProcessEvents/HandleOneEvent, with a running count (from 1): a test uses it
    // to press buttons at a keep-alive point.
    std::function<void(int)> onEvent;
    int events = 0;
    // Milliseconds the virtual clock advances per event processing.
    uint32_t msPerEvent = 1;
    // A command that is still processing events after this many has hung (an agent wait that
    // nothing ends): the test program stops with a message instead of running into the timeout.
    int maxEvents = 5000000;

    VirtualClock clock;

    void ErrorBox(const std::string& text) override;
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    // Records the box in errorBoxes and what it said under the text in errorDetails.
    void ErrorBoxWithDetail(const std::string& text,
                            const std::optional<std::string>& detail) override;
    std::vector<std::string> errorDetails;
    bool WarningQuestion(const std::string& text) override;
    bool YesNoQuestion(const std::string& text) override;
    bool ChooseFile(std::string& path) override;
    bool ShowControlDialog() override;
    void ProcessEvents() override;
    void HandleOneEvent() override;

    // The log lines from index `from` on.
    std::vector<std::string> LogFrom(size_t from) const;
    // True when the log holds `line` exactly.
    bool Logged(const std::string& line) const;
};

} // namespace tapster::test
