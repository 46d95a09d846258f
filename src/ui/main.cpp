// The program Tapcheck: the application object, the main window (whose creation runs the
// start-up measurements), the hidden control-register dialog, then the event loop.
#include "app/window_arguments.h"
#include "ui/control_dialog.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// A start-up failure is shown where the user looks: the terminal, and a message box when there is
// a screen to show it on.
int Refuse(const std::string& message) {
    std::fprintf(stderr, "tapcheck: %s\n", message.c_str());
    if (QGuiApplication::platformName() != "offscreen")
        QMessageBox::critical(nullptr, "Tapster", QString::fromStdString(message), QMessageBox::Ok);
    return tapster::kBadWindowStart;
}

} // namespace

int main(int argc, char** argv) {
    // Help and the version need no screen, so they come before the application object.
    using Action = tapster::WindowArguments::Action;
    if (const auto start = tapster::ParseWindowArguments({argv + 1, argv + argc});
        start.action == Action::kTell) {
        std::fputs(start.text.c_str(), stdout);
        return 0;
    }

    QApplication app(argc, argv); // takes its own options (-platform, ...) out of argv
    const tapster::WindowArguments start = tapster::ParseWindowArguments({argv + 1, argv + argc});
    if (start.action != Action::kRun) return Refuse(start.text);
    std::string error;
    std::unique_ptr<tapster::PortBackend> backend = tapster::CreateBackend(start.options, error);
    if (!backend) return Refuse(error);

    int result = 0;
    {
        tapster::ui::TfrmMain frmMain;
        frmMain.SetBackendName(QString::fromStdString(backend->Name()));
        tapster::ui::TfrmControl frmControl;
        frmMain.SetControlDialog(&frmControl);
        frmMain.show();
        result = app.exec();
    }
    tapster::SetPortBackend(nullptr);
    return result;
}
