#include "ui/log_file.h"

#include "core/safe_file.h"
#include "ui/qt_main_form.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>

namespace tapster::ui {

QAction* AddSaveLogAction(QWidget* window, QPlainTextEdit* log, QtMainForm& form) {
    auto* action = new QAction("Save log as\u2026", window);
    action->setObjectName("actSaveLog");
    action->setShortcut(QKeySequence::Save);
    action->setShortcutContext(Qt::WindowShortcut);
    window->addAction(action);
    QObject::connect(action, &QAction::triggered, window,
                     [window, log, &form] { SaveLogAs(window, log, form); });

    log->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(log, &QWidget::customContextMenuRequested, log, [log, action](QPoint at) {
        QMenu* menu = log->createStandardContextMenu(at);
        menu->addSeparator();
        menu->addAction(action);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(log->viewport()->mapToGlobal(at));
    });
    return action;
}

void SaveLogAs(QWidget* window, QPlainTextEdit* log, QtMainForm& form) {
    QFileDialog dialog(window, "Save log as");
    dialog.setObjectName("SaveLogDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({"Log files (*.log *.txt)", "All files (*)"});
    dialog.setDefaultSuffix("log");
    dialog.selectFile("tapster.log");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString name = dialog.selectedFiles().first();

    QByteArray text = log->toPlainText().toUtf8();
    if (!text.isEmpty()) text.append('\n');
    std::string reason;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.constData());
    if (!WriteWholeFile(QFile::encodeName(name).toStdString(),
                        {bytes, static_cast<size_t>(text.size())}, reason)) {
        QMessageBox::critical(window, "Tapster",
                              "The log could not be saved to " + name + ": " +
                                  QString::fromStdString(reason));
        return;
    }
    form.ShowStatus("Log saved to " + name.toStdString());
}

} // namespace tapster::ui
