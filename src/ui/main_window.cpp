#include "ui/main_window.h"

#include "jtag/agent_calls.h"
#include "ops/commands.h"
#include "ui/main_window_pages.h"
#include "ui/window_style.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
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

// Which command each button starts. "Take Trap" and the hidden "Load DCU" share one handler.
struct ButtonCommand {
    const char* button;
    void (*handler)();
};

constexpr ButtonCommand kButtonCommands[] = {
    {"cmdMemSeek", &cmdMemSeekClick},       {"cmdChkTraps", &cmdChkTrapsClick},
    {"cmdReadRom", &cmdReadRomClick},       {"cmdLoadTrap", &cmdLoadTrapClick},
    {"cmdInstTrap", &cmdInstTrapClick},     {"cmdTakeTrap", &cmdLoadDCUClick},
    {"cmdGetDevCode", &cmdGetDevCodeClick}, {"cmdProtect", &cmdProtectClick},
    {"cmdBlkErase", &cmdBlkEraseClick},     {"cmdChipErase", &cmdChipEraseClick},
    {"cmdReadToFile", &cmdReadToFileClick}, {"cmdWriteFlash", &cmdWriteFlashClick},
    {"cmdCancel", &cmdCancelClick},         {"cmdAddRec", &cmdAddRecClick},
    {"cmdEditRec", &cmdEditRecClick},       {"cmdDelRec", &cmdDelRecClick},
    {"cmdRunBatch", &cmdRunBatchClick},     {"cmdManRead", &cmdManReadClick},
    {"cmdManWrite", &cmdManWriteClick},     {"cmdLoadDCU", &cmdLoadDCUClick},
    {"cmdVrfRAM", &cmdVrfRAMClick},         {"cmdVrfTrap", &cmdVrfTrapClick},
};

// Refused while another command runs (see RunMonitorCommand): the monitor's own buttons, which
// stay usable in busy mode, and the hardware check, which ends by releasing the cable and the
// port claim; inside the wait of a command without busy mode that command's next port access
// would fault.
constexpr ButtonCommand kMonitorCommands[] = {
    {"cmdStartDCU", &cmdStartDCUClick},
    {"cmdChgCtrl", &cmdChangeCtrlClick},
    {"cmdDelay", &cmdDelayClick},
};

QLabel* BoldNavy(const char* name, const char* text) {
    auto* label = new QLabel(QString::fromLatin1(text));
    label->setObjectName(QString::fromLatin1(name));
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
    setWindowTitle("Tapster");
    setFont(WindowFont());
    BuildWindow();
    resize(700, 539);
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
    speedRow->addWidget(BoldNavy("Label4", "CPU speed :"));
    speedRow->addWidget(BoldNavy("lblSpeed", "0"));
    speedRow->addStretch();
    layout->addLayout(speedRow);

    auto* pages = new QTabWidget;
    pages->setObjectName("shDCU");
    pages->addTab(BuildHardwarePage(), "Hardware Config");
    pages->addTab(BuildFlashPage(), "Flash Programming");
    pages->addTab(BuildDcuPage(), "DCU registers");
    pages->addTab(BuildOtherPage(), "Other stuffs");
    pages->setCurrentIndex(0);
    layout->addWidget(pages);

    // The log: nothing but the commands writes it, and nothing ever trims it.
    auto* memo = new QPlainTextEdit;
    memo->setObjectName("Memo4");
    memo->setReadOnly(true);
    memo->setUndoRedoEnabled(false);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(memo, 1);

    auto* progress = KeepPlace(new QProgressBar);
    progress->setObjectName("ProgressBar1");
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(false);
    auto* address = KeepPlace(new QLabel("Addr 0x00000000"));
    address->setObjectName("lblAdr");
    address->setFont(FixedFont());
    QPalette palette = address->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    address->setPalette(palette);
    address->setMinimumWidth(QFontMetrics(FixedFont()).horizontalAdvance("Addr 0x00000000") + 8);
    address->hide();
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progress, 1);
    progressRow->addWidget(address);
    layout->addLayout(progressRow);

    setCentralWidget(central);

    backend_ = new QLabel;
    backend_->setObjectName("lblBackend");
    statusBar()->addWidget(backend_);
    statusBar()->setSizeGripEnabled(false);

    auto* timer = new QTimer(this);
    timer->setObjectName("Timer1");
    timer->setInterval(1000);
}

void TfrmMain::Wire() {
    for (const ButtonCommand& c : kButtonCommands) {
        auto* button = findChild<QPushButton*>(QString::fromLatin1(c.button));
        connect(button, &QPushButton::clicked, this, [this, h = c.handler] { RunCommand(h); });
    }
    for (const ButtonCommand& c : kMonitorCommands) {
        auto* button = findChild<QPushButton*>(QString::fromLatin1(c.button));
        connect(button, &QPushButton::clicked, this,
                [this, h = c.handler] { RunMonitorCommand(h); });
    }
    // The slider's handler runs on every change, made by the user or by the hardware check.
    connect(findChild<QAbstractSlider*>("trkDelay"), &QAbstractSlider::valueChanged, this,
            [this] { RunCommand(&trkDelayChange); });
    connect(findChild<QSpinBox*>("trkPoll"), &QSpinBox::valueChanged, this,
            [this] { RunCommand(&trkPollClick); });
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
    if (depth_ == 0 && closePending_) {
        closePending_ = false;
        close();
    }
}

void TfrmMain::RunMonitorCommand(const std::function<void()>& handler) {
    if (CommandRunning()) {
        QApplication::beep();
        return;
    }
    RunCommand(handler);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (CommandRunning()) {
        // A command is inside one of its waits below this call. Ask it to stop as the Abort
        // button would, and close once it has unwound.
        AbortFlag = true;
        StopRequest = true;
        closePending_ = true;
        event->ignore();
        return;
    }
    findChild<QTimer*>("Timer1")->stop();
    event->accept();
}

} // namespace tapster::ui
