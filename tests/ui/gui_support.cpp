#include "gui_support.h"

#include "jtag/agent_calls.h"
#include "ops/commands.h"
#include "port/platform.h"
#include "process_state.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace tapster::test {

void GuiTest::SetUp() {
    ResetProcessState();
    // 100 us of performance counter against 239400 time-stamp cycles: 2394 MHz.
    clock.counterStep = 1000;
    clock.timeStampStep = 239400;
    platform::SetClock(&clock);
}

void GuiTest::TearDown() {
    platform::SetClock(nullptr);
    ResetProcessState();
}

void WhenModalOpens(std::function<void(QWidget*)> answer) {
    // Polls from the event loop; the modal's own loop keeps the poll going.
    auto* poll = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, tries, answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            answer(modal);
            return;
        }
        if (++*tries > 500) { // 5 s
            poll->stop();
            poll->deleteLater();
            ADD_FAILURE() << "the expected dialog never opened";
        }
    });
    poll->start(10);
}

void InstallModalWatchdog() {
    auto* watchdog = new QTimer(qApp);
    auto seen = std::make_shared<QWidget*>(nullptr);
    QObject::connect(watchdog, &QTimer::timeout, watchdog, [seen] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal == *seen) {
            ADD_FAILURE() << "unanswered modal window: " << modal->windowTitle().toStdString();
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        }
        *seen = modal;
    });
    watchdog->start(3000);
}

} // namespace tapster::test
