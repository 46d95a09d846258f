// The program Tapcheck: the application object, the main window (whose creation runs the
// start-up measurements), the hidden control-register dialog, then the event loop.
#include "app/startup.h"
#include "tapster_version.h"
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

constexpr int kBadStart = 2;

// A start-up failure is shown where the user looks: the terminal, and a message box when there is
// a screen to show it on.
int Refuse(const std::string& message) {
    std::fprintf(stderr, "tapcheck: %s\n", message.c_str());
    if (QGuiApplication::platformName() != "offscreen")
        QMessageBox::critical(nullptr, "Tapster", QString::fromStdString(message), QMessageBox::Ok);
    return kBadStart;
}

} // namespace

int main(int argc, char** argv) {
    // Help and the version need no screen, so they come before the application object.
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::printf("Usage: tapcheck [option]\n  or:  tapcheck --help | --version\n%s",
                        tapster::BackendOptionsHelp().c_str());
            return 0;
        }
        if (a == "--version") {
            std::printf("tapcheck %s\n", TAPSTER_VERSION_TEXT);
            return 0;
        }
    }

    QApplication app(argc, argv); // takes its own options (-platform, ...) out of argv
    std::vector<std::string> args(argv + 1, argv + argc);

    tapster::BackendOptions options;
    std::string error;
    if (!tapster::ParseBackendOptions(args, options, error)) return Refuse(error);
    if (!args.empty()) return Refuse("unknown option " + args.front() + " (see --help)");
    std::unique_ptr<tapster::PortBackend> backend = tapster::CreateBackend(options, error);
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
