// The main window on a terminal: the plain widget store, the log streamed to stdout as it is
// written (the wait's dots appended in place), error boxes on stderr, questions, file dialogs
// and the control dialog answered from queues that the steps fill, and the event processing of
// long commands (Timer1, "Abort !" at a chosen keep-alive point, Ctrl+C).
#pragma once

#include "core/widget_store.h"
#include "port/platform.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace tapster::cli {

// Milliseconds of virtual time that one keep-alive point lets pass: just over the 100 ms pause
// of the agent wait and of InitJtag, so each of those pauses is exactly one keep-alive point.
constexpr uint32_t kVirtualMsPerEvent = 101;

// Tick count that moves only when the window processes events (the simulated board needs no
// real time). The counters of the CPU-speed measurement are not virtual: it runs before this
// clock is installed.
class VirtualTicks : public platform::Clock {
  public:
    uint32_t TickCount() override { return ticks; }
    bool PerformanceFrequency(int64_t& frequency) override {
        frequency = 1000;
        return true;
    }
    bool PerformanceCounter(int64_t& counter) override {
        counter = ticks;
        return true;
    }
    uint32_t TimeStampLow() override { return ticks; }
    uint32_t ticks = 1000;
};

class TerminalForm : public WidgetStore {
  public:
    TerminalForm(std::FILE* out, std::FILE* err);
    ~TerminalForm() override;

    // --- Answers the steps queue -----------------------------------------------------------
    void QueueAnswer(bool yes) { answers_.push_back(yes); }
    void QueueFile(const std::string& path) { files_.push_back(path); }
    void QueueDialog(std::optional<uint32_t> sendValue) { dialogs_.push_back(sendValue); }
    // Presses "Abort !" at the Nth keep-alive point of the next command, answering its question.
    void ArmAbort(bool yes, int64_t n);
    // An abort armed that no command has taken yet (no click followed it).
    bool AbortArmed() const { return armed_; }

    // --- What the runner wires in ----------------------------------------------------------
    std::function<void()> onTimer;              // Timer1Timer
    std::function<void(uint32_t)> onDialogSend; // put the value in the dialog and press Send
    std::function<void()> onAbortClick;         // cmdCancelClick

    // --- Commands and time -----------------------------------------------------------------
    // Brackets one button click: counts its keep-alive points from 1. EndCommand returns false
    // when an armed abort was not reached.
    void BeginCommand();
    bool EndCommand();
    // Virtual time (simulated board) or the real clock. Installs/uninstalls the tick clock.
    void UseVirtualTime(bool on);
    // wait=MS: lets Timer1 run for ms milliseconds.
    void RunTimers(uint32_t ms);
    // Closes the open line of stdout; call once at the end of the run.
    void Finish();
    // Writes a line of its own to stdout (print=WIDGET), keeping the log's open line intact.
    void PrintLine(const std::string& line);
    // The log also goes to `copy` (--log FILE); the form's own stdout may be null (the log is
    // then not shown).
    void SetLogCopy(std::FILE* copy) { copy_ = copy; }
    // A progress line on stderr, rewritten in place; other stderr lines clear it first. An
    // empty text clears it.
    void ShowProgress(const std::string& text);

    // --- How the run went ------------------------------------------------------------------
    int ErrorBoxCount() const { return errorBoxes_; }
    // An error box was shown or a question found nothing queued: the run stops after the step.
    bool Failed() const { return failed_; }
    // Something written to stdout could not be written (a full disk, a closed pipe).
    bool OutputLost() const { return outputLost_; }
    // Ctrl+C or SIGTERM arrived, or the deadline passed.
    bool Interrupted() const { return interrupted_ || interruptFlag != 0 || deadlinePassed_; }
    // The exit code of an interrupted run: the signal's (exit_codes.h) or 124 (deadline); 0
    // while the run may go on. Notices a deadline that has just passed.
    int StopCode();
    // --deadline: from this moment on "Abort !" is pressed and answered No at each keep-alive
    // point where it is shown, and the run stops after the step that runs then.
    void SetDeadline(std::chrono::steady_clock::time_point when);
    int KeepAlivePoints() const { return events_; }
    // The answers still queued (for the end-of-run note).
    size_t PendingAnswers() const { return answers_.size() + files_.size() + dialogs_.size(); }

    // Set from the signal handlers (SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ) to the signal's
    // number; read at the next keep-alive point.
    static volatile std::sig_atomic_t interruptFlag;
    // Set by a handler that has said on stderr which signal arrived, so it is not said twice.
    static volatile std::sig_atomic_t signalAnnounced;

    // --- MainForm --------------------------------------------------------------------------
    void LogLine(const std::string& line) override;
    void ReplaceLastLogLine(const std::string& line) override;
    void ErrorBox(const std::string& text) override;
    void ShowStatus(const std::string& text) override;
    void ErrorBoxWithDetail(const std::string& text,
                            const std::optional<std::string>& detail) override;
    bool WarningQuestion(const std::string& text) override;
    bool YesNoQuestion(const std::string& text) override;
    bool ChooseFile(std::string& path) override;
    bool ShowControlDialog() override;
    void ProcessEvents() override;
    void HandleOneEvent() override;
    void SetTimerEnabled(bool enabled) override;
    void SetTimerInterval(int ms) override;

  private:
    bool Answer(const std::string& text);
    void Unanswered(const std::string& what);
    void Write(const std::string& text);
    uint32_t Now();
    void FireTimerIfDue();
    void PressAbort(bool yes);
    void CheckDeadline();
    void TakeSignal(); // takes the pending signal, noting it on stderr once

    void ClearProgress();

    std::FILE* out_;
    std::FILE* err_;
    std::FILE* copy_ = nullptr;
    size_t progressWidth_ = 0; // characters of the progress line on stderr, 0 when none
    std::deque<bool> answers_;
    std::deque<std::string> files_;
    std::deque<std::optional<uint32_t>> dialogs_;
    std::optional<bool> forcedYesNo_; // the answer of an "Abort !" press in progress

    bool armed_ = false; // an abort waits for the next command
    bool abortYes_ = false;
    int64_t abortAt_ = 0;
    bool inCommand_ = false;
    bool abortPending_ = false; // armed for the command running now
    int events_ = 0;

    bool lineOpen_ = false;   // the last log line is on stdout without its newline
    std::string printedLine_; // what stdout holds of that line
    int errorBoxes_ = 0;
    bool failed_ = false;
    bool interrupted_ = false;
    bool outputLost_ = false;
    int signal_ = 0;           // the signal that interrupted the run
    bool signalNoted_ = false; // stderr says which signal it was

    bool deadlineSet_ = false;
    bool deadlinePassed_ = false;
    std::chrono::steady_clock::time_point deadline_{};

    bool virtualTime_ = false;
    VirtualTicks ticks_;
    bool inTimer_ = false;
    uint32_t timerDue_ = 0;
    uint32_t lastRealTick_ = 0;
};

} // namespace tapster::cli
