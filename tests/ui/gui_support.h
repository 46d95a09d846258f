// Helpers for the window tests: a deterministic CPU-speed measurement, a fresh command state, and
// answering the modal boxes and dialogs a command opens.
#pragma once

#include "test_form.h"

#include <gtest/gtest.h>

#include <QString>

#include <functional>

class QWidget;

namespace tapster::test {

// Every window test starts from a freshly started program, with a clock that measures 2394 MHz
// (nominal 2400) so the start-up values are fixed.
class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    VirtualClock clock;
};

// Runs `answer` on the next modal widget once it is open (a message box, the file dialog, the
// control dialog). Gives up after a few seconds, failing the test, so a missing dialog cannot hang.
void WhenModalOpens(std::function<void(QWidget*)> answer);

// Closes any modal widget that stays open for long without a test answering it, and fails the
// running test: a test must never hang on a box.
void InstallModalWatchdog();

} // namespace tapster::test
