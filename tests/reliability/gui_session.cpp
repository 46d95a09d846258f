#include "gui_session.h"
#include "process_state.h"

namespace tapster::test {

void GuiSession::SetUp() {
    ResetProcessState();
    // 100 us of performance counter against 239400 time-stamp cycles: 2394 MHz.
    clock.counterStep = 1000;
    clock.timeStampStep = 239400;
    platform::SetClock(&clock);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::temp_directory_path() /
          (std::string("tapster-rel-gui-") + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);

    board = std::make_unique<board::Board>();
    SetPortBackend(board.get());
    window = std::make_unique<ui::TfrmMain>();
    dialog = std::make_unique<ui::TfrmControl>();
    window->SetControlDialog(dialog.get());
    window->show();
    StartDirectory = dir.string();

    QObject::connect(&keepAlive, &QTimer::timeout, [this] {
        // Not while a box is open, nor before the command has had all its own answers: the event
        // loop of a dialog that has just been answered still turns once before it returns.
        if (!running || nested || QApplication::activeModalWidget() != nullptr || !answers.empty())
            return;
        ++points;
        if (atKeepAlive) {
            nested = true;
            atKeepAlive(points);
            nested = false;
        }
    });
    QObject::connect(&answerer, &QTimer::timeout, [this] {
        // A nested agent wait with no agent behind it would last for ever: give it up as the
        // Abort button's No does.
        const std::vector<std::string> log = Log();
        const std::string last = log.empty() ? "" : log.back();
        const bool inWait = last.rfind("Waiting for release ...", 0) == 0 ||
                            (!last.empty() && last.find_first_not_of('.') == std::string::npos);
        waitFires = inWait ? waitFires + 1 : 0;
        if (waitFires > 3000) {
            AbortFlag = true;
            waitFires = 0;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            boxes.push_back(box->text().toStdString());
        if (!answers.empty() && answers.front()(modal)) {
            answers.pop_front();
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            for (auto b : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok})
                if (QAbstractButton* button = box->button(b)) {
                    button->click();
                    return;
                }
        }
        if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
    });
    keepAlive.start(0);
    answerer.start(0);
}

void GuiSession::TearDown() {
    keepAlive.stop();
    answerer.stop();
    window.reset();
    dialog.reset();
    ResetProcessState();
    board.reset();
    platform::SetClock(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

std::vector<std::string> GuiSession::Log() const {
    const QString text = window->findChild<QPlainTextEdit*>("Memo4")->toPlainText();
    std::vector<std::string> lines;
    if (text.isEmpty()) return lines;
    for (const QString& l : text.split('\n'))
        lines.push_back(l.toStdString());
    return lines;
}

bool GuiSession::LoggedSince(size_t mark, const std::string& line) const {
    const std::vector<std::string> log = Log();
    for (size_t i = mark; i < log.size(); ++i)
        if (log[i] == line) return true;
    return false;
}

bool GuiSession::Idle() {
    MainForm& f = window->Form();
    for (const char* c : {"Panel1", "Panel3", "Panel5", "GroupBox5", "GroupBox7"})
        if (!f.Enabled(c)) return false;
    return !f.Visible("cmdCancel") && !f.Visible("ProgressBar1") && !f.Visible("lblAdr");
}

void GuiSession::WriteFile(const std::string& name, size_t size) {
    std::ofstream out(Path(name), std::ios::binary);
    for (size_t i = 0; i < size; ++i)
        out.put(static_cast<char>(i * 7 + 0x11));
}

void GuiSession::TakeAgent() {
    WriteFile("fl4_trap.bin", 484);
    Press("cmdLoadTrap");
    Press("cmdInstTrap");
    Press("cmdTakeTrap");
    ASSERT_EQ(MailboxBase, 0x80000A00u);
}

void GuiSession::Press(const char* name) {
    QPushButton* button = Button(name);
    ASSERT_NE(button, nullptr) << name;
    running = true;
    points = 0;
    button->click();
    running = false;
}

std::function<bool(QWidget*)> Press(QMessageBox::StandardButton which) {
    return [which](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr || box->button(which) == nullptr) return false;
        box->button(which)->click();
        return true;
    };
}

std::function<bool(QWidget*)> ChooseFile(const std::string& path) {
    return [path](QWidget* modal) {
        auto* d = qobject_cast<QFileDialog*>(modal);
        if (d == nullptr) return false;
        d->selectFile(QString::fromStdString(path));
        QMetaObject::invokeMethod(d, "accept", Qt::DirectConnection);
        return true;
    };
}

} // namespace tapster::test
