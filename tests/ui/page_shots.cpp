// Writes a picture of each page of the window on the simulated board, of busy mode and of the
// control dialog, to look at the layout: gui_page_shots [DIR] (default /tmp).
#include "app/startup.h"
#include "ops/services.h"
#include "ui/control_dialog.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    tapster::BackendOptions options;
    options.simulate = true;
    std::string error;
    auto backend = tapster::CreateBackend(options, error);
    if (!backend) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    tapster::ui::TfrmMain window;
    window.SetBackendName(QString::fromStdString(backend->Name()));
    tapster::ui::TfrmControl dialog;
    window.SetControlDialog(&dialog);
    window.show();
    for (const char* line :
         {"Initializing JTAG ...", "Setting TAP on Run-Test/Idle state ...", "Done",
          "-------------------", "Checking JTAG hardware ...", "-------------------"})
        window.Form().LogLine(line);

    auto* pages = window.findChild<QTabWidget*>("shDCU");
    auto save = [&](QWidget* w, const QString& name) {
        QApplication::processEvents();
        const QString path = QDir(dir).filePath(name);
        w->grab().save(path);
        std::printf("%s\n", path.toLocal8Bit().constData());
    };
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        save(&window, QString("tapster-page%1.png").arg(i + 1));
    }
    pages->setCurrentIndex(1);
    tapster::Deactivate();
    tapster::ProgressBegin(65536);
    tapster::ProgressAdvance(25200, "7FE06270");
    save(&window, "tapster-busy.png");
    tapster::ProgressEnd();
    tapster::Activate();
    dialog.show();
    save(&dialog, "tapster-control.png");
    tapster::SetPortBackend(nullptr);
    return 0;
}
