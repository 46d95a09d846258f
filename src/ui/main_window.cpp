#include "ui/main_window.h"

#include "core/widget_table.h"
#include "ops/command_table.h"
#include "ops/commands.h"
#include "ui/job_dialog.h"
#include "ui/log_file.h"
#include "ui/main_window_pages.h"
#include "ui/window_style.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tapster::ui {

namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* BoldNavy(WidgetId id) {
    auto* label = new QLabel(Q(id.Row().caption));
    label->setObjectName(Q(id.Name()));
    QFont bold = WindowFont();
    bold.setBold(true);
    label->setFont(bold);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kNavy);
    label->setPalette(palette);
    return label;
}

template <class W> W* KeepPlace(W* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
    return widget;
}

} // namespace

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent), form_(this) {
    setObjectName("frmMain");
    setWindowTitle(Q(kMainWindowCaption));
    setFont(WindowFont());
    BuildWindow();
    resize(kMainWindowWidth, kMainWindowHeight);
    Wire();
    tapster::frmMain = &form_;
    RunCommand(&FormCreate);
}

TfrmMain::~TfrmMain() {
    if (tapster::frmMain == &form_) tapster::frmMain = nullptr;
}

void TfrmMain::BuildWindow() {
    auto* central = new QWidget;
    central->setObjectName("frmMainClient");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 4, 6, 2);
    layout->setSpacing(4);

    auto* speedRow = new QHBoxLayout;
    speedRow->addWidget(BoldNavy(w::Label4));
    speedRow->addWidget(BoldNavy(w::lblSpeed));
    speedRow->addStretch();
    layout->addLayout(speedRow);

    auto* pages = new QTabWidget;
    pages->setObjectName(Q(w::shDCU.Name()));
    pages->addTab(BuildHardwarePage(), "Hardware Config");
    pages->addTab(BuildFlashPage(), "Flash Programming");
    pages->addTab(BuildDcuPage(), "DCU registers");
    pages->addTab(BuildOtherPage(), "Other stuffs");
    pages->setCurrentIndex(0);
    layout->addWidget(pages);

    // The log: nothing but the commands writes it, and nothing ever trims it.
    auto* memo = new QPlainTextEdit;
    memo->setObjectName(Q(w::Memo4.Name()));
    memo->setReadOnly(true);
    memo->setUndoRedoEnabled(false);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(memo, 1);

    auto* progress = KeepPlace(new QProgressBar);
    progress->setObjectName(Q(w::ProgressBar1.Name()));
    progress->setRange(w::ProgressBar1.Row().minimum, w::ProgressBar1.Row().maximum);
    progress->setValue(w::ProgressBar1.Row().position);
    progress->setTextVisible(false);
    const QString addressText = Q(w::lblAdr.Row().caption);
    auto* address = KeepPlace(new QLabel(addressText));
    address->setObjectName(Q(w::lblAdr.Name()));
    address->setFont(FixedFont());
    QPalette palette = address->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    address->setPalette(palette);
    address->setMinimumWidth(QFontMetrics(FixedFont()).horizontalAdvance(addressText) + 8);
    address->setHidden(w::lblAdr.Row().hidden);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progress, 1);
    progressRow->addWidget(address);
    layout->addLayout(progressRow);

    setCentralWidget(central);

    // Beyond the four pages: keeping the log, and the flash job in one go.
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(AddSaveLogAction(this, memo, form_));
    QMenu* flash = menuBar()->addMenu("F&lash");
    QAction* job = flash->addAction("Program and verify\u2026");
    job->setObjectName("actProgramJob");
    connect(job, &QAction::triggered, this, [this] { OpenJobDialog(); });

    backend_ = new QLabel;
    backend_->setObjectName("lblBackend");
    statusBar()->addWidget(backend_);
    auto* status = new QLabel;
    status->setObjectName("lblStatus");
    statusBar()->addWidget(status, 1);
    statusBar()->setSizeGripEnabled(false);

    auto* timer = new QTimer(this);
    timer->setObjectName("Timer1");
    timer->setInterval(1000);
}

void TfrmMain::Wire() {
    for (const CommandRow& row : kCommandTable) {
        QObject* source = findChild<QObject*>(Q(row.widget.Name()));
        const auto run = [this, &row] {
            if (RefusedWhileBusy(row))
                RunRefusedWhileBusy(row.handler);
            else
                RunCommand(row.handler);
        };
        if (row.trigger == CommandTrigger::Click) {
            connect(qobject_cast<QPushButton*>(source), &QPushButton::clicked, this, run);
        } else if (auto* slider = qobject_cast<QAbstractSlider*>(source)) {
            // The handler runs on every change, made by the user or by the hardware check.
            connect(slider, &QAbstractSlider::valueChanged, this, run);
        } else {
            connect(qobject_cast<QSpinBox*>(source), &QSpinBox::valueChanged, this, run);
        }
    }
    connect(findChild<QTimer*>("Timer1"), &QTimer::timeout, this,
            [this] { RunCommand(&Timer1Timer); });
}

void TfrmMain::SetBackendName(const QString& name) {
    backend_->setText("Port: " + name);
}

void TfrmMain::RunCommand(const std::function<void()>& handler) {
    ++depth_;
    handler();
    --depth_;
    // A close asked for inside the command: taken once it has ended, and without the question
    // when the command ended before the question could be asked.
    if (depth_ == 0 && (closePending_ || closeAsked_)) {
        closePending_ = closeAsked_ = false;
        close();
    }
}

void TfrmMain::RunRefusedWhileBusy(const std::function<void()>& handler) {
    if (CommandRunning()) {
        QApplication::beep();
        form_.ShowStatus("Another command is running: the click was refused (wait for it to end, "
                         "or press \"Abort !\" where it is shown)");
        return;
    }
    RunCommand(handler);
}

void TfrmMain::OpenJobDialog() {
    // The menu stays open while a command runs; the job would break into its link traffic.
    if (CommandRunning()) {
        QApplication::beep();
        return;
    }
    if (job_ == nullptr) job_ = new JobDialog(*this); // kept: it remembers the last image
    job_->exec();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (CommandRunning()) {
        // A command is inside one of its waits below this call. The question is asked from the
        // event loop, not from inside whatever asked for the close.
        event->ignore();
        if (!closeAsked_ && !closePending_) {
            closeAsked_ = true;
            QTimer::singleShot(0, this, [this] { AskToAbortAndClose(); });
        }
        return;
    }
    findChild<QTimer*>("Timer1")->stop();
    event->accept();
}

void TfrmMain::AskToAbortAndClose() {
    if (!closeAsked_) return; // the command ended first and the window closed then
    const bool yes = QMessageBox::question(this, "Tapster", kAbortAndCloseQuestion,
                                           QMessageBox::Yes | QMessageBox::No,
                                           QMessageBox::No) == QMessageBox::Yes;
    closeAsked_ = false;
    if (!yes) return;
    // As "Abort !" answered No: the wait or the scan gives up at once, and the window closes
    // once the command has unwound.
    RequestStop();
    closePending_ = true;
}

} // namespace tapster::ui
