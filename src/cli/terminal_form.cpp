#include "cli/terminal_form.h"

#include "cli/exit_codes.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

namespace tapster::cli {

volatile std::sig_atomic_t TerminalForm::interruptFlag = 0;
volatile std::sig_atomic_t TerminalForm::signalAnnounced = 0;

namespace {

// Message boxes may hold line breaks; the terminal shows each as one line.
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\n' || c == '\r') {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += c;
        }
    }
    return line;
}

} // namespace

TerminalForm::TerminalForm(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

TerminalForm::~TerminalForm() {
    UseVirtualTime(false);
}

void TerminalForm::Write(const std::string& text) {
    if (copy_ != nullptr) {
        std::fwrite(text.data(), 1, text.size(), copy_);
        std::fflush(copy_);
    }
    // A quiet job writes its log to the copy alone (no stdout).
    if (outputLost_ || out_ == nullptr) return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), out_) == text.size() && std::fflush(out_) == 0)
        return;
    // Said once: what follows cannot be shown either, and the run's result is lost.
    outputLost_ = true;
    std::fprintf(err_, "tapcheck-cli: stdout cannot be written (%s); the log is lost\n",
                 errno != 0 ? std::strerror(errno) : "write error");
    std::fflush(err_);
}

void TerminalForm::ShowProgress(const std::string& text) {
    const size_t width = text.size();
    const std::string pad(progressWidth_ > width ? progressWidth_ - width : 0, ' ');
    std::fprintf(err_, "\r%s%s%s", text.c_str(), pad.c_str(), text.empty() ? "\r" : "");
    std::fflush(err_);
    progressWidth_ = width;
}

void TerminalForm::ClearProgress() {
    if (progressWidth_ > 0) ShowProgress("");
}

void TerminalForm::LogLine(const std::string& line) {
    WidgetStore::LogLine(line);
    Write((lineOpen_ ? "\n" : "") + line);
    lineOpen_ = true;
    printedLine_ = line;
}

void TerminalForm::ReplaceLastLogLine(const std::string& line) {
    bool extends = lineOpen_ && line.size() >= printedLine_.size() &&
                   line.compare(0, printedLine_.size(), printedLine_) == 0;
    WidgetStore::ReplaceLastLogLine(line);
    if (extends) {
        // The wait's dots: only the new characters go out, so stdout stays equal to the log.
        Write(line.substr(printedLine_.size()));
    } else {
        // Not an extension of what stdout shows: the new text goes on a line of its own.
        Write((lineOpen_ ? "\n" : "") + line);
    }
    lineOpen_ = true;
    printedLine_ = line;
}

void TerminalForm::PrintLine(const std::string& line) {
    Write((lineOpen_ ? "\n" : "") + line + "\n");
    lineOpen_ = false;
    printedLine_.clear();
}

void TerminalForm::Finish() {
    if (lineOpen_) Write("\n");
    lineOpen_ = false;
    printedLine_.clear();
}

void TerminalForm::ErrorBox(const std::string& text) {
    ClearProgress();
    ++errorBoxes_;
    failed_ = true;
    std::fprintf(err_, "error: %s\n", OneLine(text).c_str());
    std::fflush(err_);
}

void TerminalForm::ErrorBoxWithDetail(const std::string& text,
                                      const std::optional<std::string>& detail) {
    ErrorBox(text);
    // The reason goes on a line of its own, as the window puts it under the box's text.
    if (detail) {
        std::fprintf(err_, "tapcheck-cli: %s\n", detail->c_str());
        std::fflush(err_);
    }
}

void TerminalForm::ShowStatus(const std::string& text) {
    ClearProgress();
    std::fprintf(err_, "tapcheck-cli: %s\n", OneLine(text).c_str());
    std::fflush(err_);
}

void TerminalForm::Unanswered(const std::string& what) {
    failed_ = true;
    std::fprintf(err_, "error: no answer queued for: %s\n", OneLine(what).c_str());
    std::fflush(err_);
}

bool TerminalForm::Answer(const std::string& text) {
    if (answers_.empty()) {
        // The safe answer (Cancel, No) lets the command end; the run stops after it.
        Unanswered(text);
        return false;
    }
    bool yes = answers_.front();
    answers_.pop_front();
    return yes;
}

bool TerminalForm::WarningQuestion(const std::string& text) {
    return Answer(text);
}

bool TerminalForm::YesNoQuestion(const std::string& text) {
    if (forcedYesNo_) {
        bool yes = *forcedYesNo_;
        forcedYesNo_.reset();
        return yes;
    }
    return Answer(text);
}

bool TerminalForm::ChooseFile(std::string& path) {
    if (files_.empty()) {
        Unanswered("the file dialog");
        return false;
    }
    path = files_.front();
    files_.pop_front();
    return !path.empty();
}

bool TerminalForm::ShowControlDialog() {
    if (dialogs_.empty()) {
        Unanswered("the DCU Control register dialog");
        return false;
    }
    std::optional<uint32_t> outcome = dialogs_.front();
    dialogs_.pop_front();
    if (!outcome) return false;
    if (onDialogSend) onDialogSend(*outcome);
    return true;
}

void TerminalForm::ArmAbort(bool yes, int64_t n) {
    armed_ = true;
    abortYes_ = yes;
    abortAt_ = n;
}

void TerminalForm::BeginCommand() {
    inCommand_ = true;
    events_ = 0;
    abortPending_ = armed_;
    armed_ = false;
}

bool TerminalForm::EndCommand() {
    inCommand_ = false;
    bool reached = !abortPending_;
    abortPending_ = false;
    return reached;
}

void TerminalForm::PressAbort(bool yes) {
    if (!Has(w::cmdCancel) || !Usable(w::cmdCancel)) {
        std::fprintf(err_,
                     "tapcheck-cli: \"Abort !\" is not shown at keep-alive point %d; "
                     "not pressed\n",
                     events_);
        std::fflush(err_);
        return;
    }
    forcedYesNo_ = yes;
    if (onAbortClick) onAbortClick();
    forcedYesNo_.reset();
}

void TerminalForm::SetDeadline(std::chrono::steady_clock::time_point when) {
    deadlineSet_ = true;
    deadline_ = when;
}

void TerminalForm::CheckDeadline() {
    if (!deadlineSet_ || deadlinePassed_ || std::chrono::steady_clock::now() < deadline_) return;
    deadlinePassed_ = true;
    std::fprintf(err_, "tapcheck-cli: the deadline has passed; the run stops\n");
    std::fflush(err_);
}

void TerminalForm::TakeSignal() {
    signal_ = interruptFlag;
    if (signalNoted_) return;
    signalNoted_ = true;
    if (signalAnnounced != 0) return;
    // The log shows the abort, if a command was running; this line says where it came from,
    // also when the signal ends a wait between commands.
    std::fprintf(err_, "tapcheck-cli: %s; the run stops\n", StopSignalOf(signal_).name);
    std::fflush(err_);
}

int TerminalForm::StopCode() {
    CheckDeadline();
    if (interruptFlag != 0 && signal_ == 0) TakeSignal();
    if (signal_ != 0) return StopSignalOf(signal_).code;
    return deadlinePassed_ ? kExitDeadline : kExitOk;
}

void TerminalForm::ProcessEvents() {
    ++events_;
    CheckDeadline();
    if (interruptFlag != 0) {
        TakeSignal();
        interruptFlag = 0;
        interrupted_ = true;
    }
    // Pressed at every keep-alive point where "Abort !" is shown until the command ends: a
    // press before the wait or scan began (whose start clears the flags) must not leave it
    // running.
    if ((interrupted_ || deadlinePassed_) && Usable(w::cmdCancel)) PressAbort(false);
    if (inCommand_ && abortPending_ && events_ >= abortAt_) {
        abortPending_ = false;
        PressAbort(abortYes_);
    }
    if (virtualTime_) {
        ticks_.ticks += kVirtualMsPerEvent;
    } else {
        // Busy waits call in here in a tight loop: give the processor back once per tick.
        uint32_t now = platform::GetTickCount();
        if (now == lastRealTick_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        lastRealTick_ = platform::GetTickCount();
    }
    FireTimerIfDue();
}

void TerminalForm::HandleOneEvent() {
    ProcessEvents();
}

uint32_t TerminalForm::Now() {
    return virtualTime_ ? ticks_.ticks : platform::GetTickCount();
}

void TerminalForm::SetTimerEnabled(bool enabled) {
    // Enabling (re)starts the interval, as a window timer does.
    if (enabled && !TimerEnabled()) timerDue_ = Now() + static_cast<uint32_t>(TimerInterval());
    WidgetStore::SetTimerEnabled(enabled);
}

void TerminalForm::SetTimerInterval(int ms) {
    WidgetStore::SetTimerInterval(ms);
    timerDue_ = Now() + static_cast<uint32_t>(ms > 0 ? ms : 1);
}

void TerminalForm::FireTimerIfDue() {
    if (!TimerEnabled() || inTimer_) return;
    uint32_t now = Now();
    // Unsigned difference: correct across the tick count's wrap-around.
    if (static_cast<int32_t>(now - timerDue_) < 0) return;
    uint32_t interval = static_cast<uint32_t>(TimerInterval() > 0 ? TimerInterval() : 1);
    timerDue_ = now + interval;
    inTimer_ = true;
    if (onTimer) onTimer();
    inTimer_ = false;
}

void TerminalForm::RunTimers(uint32_t ms) {
    uint32_t end = Now() + ms;
    // Bounded: every pass moves time forward by at least one millisecond.
    while (static_cast<int32_t>(end - Now()) > 0 && StopCode() == 0) {
        uint32_t next = end;
        if (TimerEnabled() && static_cast<int32_t>(timerDue_ - next) < 0) next = timerDue_;
        if (static_cast<int32_t>(next - Now()) <= 0) next = Now() + 1;
        if (virtualTime_) {
            ticks_.ticks = next;
        } else {
            // In slices, so that a signal or the deadline is noticed during a long wait.
            int32_t delta = static_cast<int32_t>(next - Now());
            if (delta > 50) delta = 50;
            if (delta > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delta));
        }
        FireTimerIfDue();
    }
}

void TerminalForm::UseVirtualTime(bool on) {
    if (on == virtualTime_) return;
    virtualTime_ = on;
    platform::SetClock(on ? &ticks_ : nullptr);
    timerDue_ = Now() + static_cast<uint32_t>(TimerInterval() > 0 ? TimerInterval() : 1);
}

} // namespace tapster::cli
