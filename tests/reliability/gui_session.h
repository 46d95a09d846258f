// The real main window on a simulated board, for the re-entrancy and close tests: a clock that
// moves 10 ms per reading (so the commands' waits end after a few keep-alive points while Qt
// processes real events), a start directory of its own, scripted clicks at keep-alive points
// and an answerer for every box and dialog that opens.
#pragma once

#include "board/board.h"
#include "jtag/agent_calls.h"
#include "jtag/tap_engine.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "port/port_backend.h"
#include "standin/port_permission.h"
#include "standin/win_standin.h"
#include "test_form.h"
#include "ui/control_dialog.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace tapster::test {

// Ten milliseconds pass at every reading, so DelayMs (100) takes about ten keep-alive points.
class SteppingClock : public VirtualClock {
  public:
    uint32_t TickCount() override {
        ticks += 10;
        return ticks;
    }
};

class GuiSession : public ::testing::Test {
  public:
    void SetUp() override;
    void TearDown() override;

    QPushButton* Button(const char* name) { return window->findChild<QPushButton*>(name); }
    std::vector<std::string> Log() const;
    size_t Mark() const { return Log().size(); }
    bool LoggedSince(size_t mark, const std::string& line) const;
    bool Idle();
    void WriteFile(const std::string& name, size_t size);
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    // Load, install and take through the buttons: the agent serves the mailbox afterwards.
    void TakeAgent();

    // Called at every keep-alive point while a command started with Press runs (not while a
    // box is open or a nested command runs).
    std::function<void(int point)> atKeepAlive;
    // Answers for the boxes the command under test opens itself, in order; everything else is
    // cancelled (a nested command's question or dialog) or acknowledged (an error box).
    std::deque<std::function<bool(QWidget*)>> answers;
    std::vector<std::string> boxes; // texts of every message box seen
    // Clicks `name` and returns once its handler has returned.
    void Press(const char* name);
    bool running = false;
    bool nested = false;
    int points = 0;

    SteppingClock clock;
    std::filesystem::path dir;
    std::unique_ptr<board::Board> board;
    std::unique_ptr<ui::TfrmMain> window;
    std::unique_ptr<ui::TfrmControl> dialog;
    QTimer keepAlive;
    QTimer answerer;
    int waitFires = 0;
};

// Answers: press a message box's button, or choose a file in the file dialog.
std::function<bool(QWidget*)> Press(QMessageBox::StandardButton button);
std::function<bool(QWidget*)> ChooseFile(const std::string& path);

} // namespace tapster::test
