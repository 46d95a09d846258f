#include "test_form.h"

#include "core/main_form.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace tapster::test {

TestForm::TestForm() {
    platform::SetClock(&clock);
    frmMain = this;
}

TestForm::~TestForm() {
    if (frmMain == this) frmMain = nullptr;
    platform::SetClock(nullptr);
}

void TestForm::ErrorBox(const std::string& text) {
    errorBoxes.push_back(text);
}

void TestForm::ErrorBoxWithDetail(const std::string& text,
                                  const std::optional<std::string>& detail) {
    ErrorBox(text);
    if (detail) errorDetails.push_back(*detail);
}

bool TestForm::WarningQuestion(const std::string& text) {
    questions.push_back(text);
    if (warningAnswers.empty() && confirmEverything) return true;
    if (warningAnswers.empty()) {
        ADD_FAILURE() << "unexpected warning question: " << text;
        return false;
    }
    bool a = warningAnswers.front();
    warningAnswers.pop_front();
    return a;
}

bool TestForm::YesNoQuestion(const std::string& text) {
    questions.push_back(text);
    if (yesNoAnswers.empty() && confirmEverything) return true;
    if (yesNoAnswers.empty()) {
        ADD_FAILURE() << "unexpected yes/no question: " << text;
        return false;
    }
    bool a = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return a;
}

bool TestForm::ChooseFile(std::string& path) {
    if (files.empty() && confirmEverything) {
        path = everyFile;
        return !path.empty();
    }
    if (files.empty()) {
        ADD_FAILURE() << "unexpected file dialog";
        return false;
    }
    path = files.front();
    files.pop_front();
    return !path.empty();
}

bool TestForm::ShowControlDialog() {
    if (onDialogShown) onDialogShown();
    if (dialogAnswers.empty()) {
        ADD_FAILURE() << "unexpected control dialog";
        return false;
    }
    bool a = dialogAnswers.front();
    dialogAnswers.pop_front();
    return a;
}

void TestForm::ProcessEvents() {
    clock.ticks += msPerEvent;
    ++events;
    if (events > maxEvents) {
        std::fprintf(stderr, "test form: more than %d event rounds; the command under test hangs\n",
                     maxEvents);
        std::abort();
    }
    if (onEvent) onEvent(events);
}

void TestForm::HandleOneEvent() {
    ProcessEvents();
}

std::vector<std::string> TestForm::LogFrom(size_t from) const {
    const auto& all = LogLines();
    if (from >= all.size()) return {};
    return std::vector<std::string>(all.begin() + static_cast<long>(from), all.end());
}

bool TestForm::Logged(const std::string& line) const {
    const auto& all = LogLines();
    return std::find(all.begin(), all.end(), line) != all.end();
}

} // namespace tapster::test
