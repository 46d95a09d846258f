// The four pages of the page control. Every widget a command reads or writes carries its name as
// objectName; static captions and layout boxes carry none the commands rely on.
#include "ui/main_window_pages.h"

#include "ui/window_style.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

namespace tapster::ui {

namespace {

template <class W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* Caption(const char* text) {
    auto* label = new QLabel(QString::fromLatin1(text));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* Button(const char* name, const char* text) {
    return Named(new QPushButton(QString::fromLatin1(text)), name);
}

QLineEdit* Edit(const char* name, const char* text = "") {
    auto* edit = Named(new QLineEdit(QString::fromLatin1(text)), name);
    edit->setFixedWidth(HexFieldWidth(edit));
    return edit;
}

QCheckBox* Check(const char* name, const char* text, bool checked) {
    auto* box = Named(new QCheckBox(QString::fromLatin1(text)), name);
    box->setChecked(checked);
    return box;
}

QComboBox* HexCombo(const char* name, const QStringList& items, int selected) {
    auto* combo = Named(new QComboBox, name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(items);
    combo->setCurrentIndex(selected);
    combo->setFixedWidth(HexFieldWidth(combo) + 24);
    return combo;
}

// A panel fills its page; the busy mode disables it as one.
QFrame* PanelOn(QWidget* page, const char* name) {
    auto* panel = Named(new QFrame, name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(panel);
    return panel;
}

QGroupBox* Group(const char* name, const char* title) {
    return Named(new QGroupBox(QString::fromLatin1(title)), name);
}

// Keeps a widget's place in its layout while it is hidden, so showing it moves nothing.
template <class W> W* KeepPlace(W* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
    return widget;
}

QVBoxLayout* Column(std::initializer_list<QWidget*> widgets) {
    auto* column = new QVBoxLayout;
    for (QWidget* w : widgets)
        column->addWidget(w);
    column->addStretch();
    return column;
}

} // namespace

int HexFieldWidth(const QWidget* field) {
    const QFontMetrics metrics(field->font().resolve(WindowFont()));
    return metrics.horizontalAdvance(QStringLiteral("DDDDDDDD")) + 16;
}

QWidget* BuildHardwarePage() {
    auto* page = Named(new QWidget, "shChk");
    QFrame* panel = PanelOn(page, "Panel1");

    auto* delay = Named(new QSlider(Qt::Horizontal), "trkDelay");
    delay->setRange(0, 1000);
    delay->setTickInterval(15);
    delay->setTickPosition(QSlider::TicksBelow);
    delay->setValue(0);
    auto* delayValue = Named(new QLabel("0"), "lblDelay");
    delayValue->setMinimumWidth(QFontMetrics(WindowFont()).horizontalAdvance("00000"));
    auto* clock = Named(new QLabel("40"), "lblJtagClk");
    clock->setMinimumWidth(QFontMetrics(WindowFont()).horizontalAdvance("0000"));

    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(Caption("Jtag delay"));
    delayRow->addWidget(delay, 1);
    delayRow->addWidget(delayValue);
    delayRow->addSpacing(12);
    delayRow->addWidget(Caption("TAP clock frequency, MHZ"));
    delayRow->addWidget(clock);
    delayRow->addWidget(Button("cmdDelay", "Check"));

    // Where the trap routine and its 64k buffer go.
    auto* memory = new QGroupBox("Trap and memory buffer (64k) start address");
    memory->setObjectName("GroupBox1");
    auto* memoryGrid = new QGridLayout(memory);
    memoryGrid->addWidget(Caption("RAM start address"), 0, 0);
    memoryGrid->addWidget(Edit("txtRAM", "40000000"), 0, 1);
    memoryGrid->addWidget(Caption("Video RAM start address"), 1, 0);
    memoryGrid->addWidget(Edit("txtVRAM", "C0000000"), 1, 1);
    memoryGrid->addWidget(Caption("Trap routine address"), 2, 0);
    memoryGrid->addWidget(HexCombo("lstTrapAddr", {"80000800"}, 0), 2, 1);
    memoryGrid->addWidget(Caption("Free Memory Condition"), 3, 0);
    memoryGrid->addWidget(Check("chk1", "0xFFFFFFFF", true), 3, 1);
    memoryGrid->addWidget(Check("chk0", "0x00000000", false), 4, 1);
    memoryGrid->addWidget(Button("cmdMemSeek", "Find Free Mem"), 5, 1);
    memoryGrid->setColumnStretch(2, 1);

    auto* params = new QGroupBox("Trap routine parameters");
    params->setObjectName("GroupBox2");
    auto* paramGrid = new QGridLayout(params);
    paramGrid->addWidget(Caption("Trapped process Priority"), 0, 0, 1, 2);
    paramGrid->addWidget(Check("chkHiPri", "High", true), 1, 0);
    paramGrid->addWidget(Check("chkLowPri", "Low", false), 1, 1);
    paramGrid->addWidget(Caption("Group of Traps"), 2, 0, 1, 2);
    paramGrid->addWidget(Check("chkBrkTrap", "BreakPoint", true), 3, 0);
    paramGrid->addWidget(Check("chkErrTrap", "Errors", false), 3, 1);
    paramGrid->addWidget(Check("chkSysTrap", "System", false), 4, 0);
    paramGrid->addWidget(Check("chkSchedTrap", "Scheduler", false), 4, 1);
    paramGrid->setRowStretch(5, 1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(memory, 1);
    groups->addWidget(params);
    groups->addLayout(
        Column({Button("cmdChkTraps", "Check existing"), Button("cmdReadRom", "Read Int. ROM"),
                Button("cmdLoadTrap", "Load Trap Routine"), Button("cmdInstTrap", "Install Traps"),
                Button("cmdTakeTrap", "Take Trap")}));

    auto* layout = new QVBoxLayout(panel);
    layout->addLayout(delayRow);
    layout->addLayout(groups, 1);
    return page;
}

QWidget* BuildFlashPage() {
    auto* page = Named(new QWidget, "shFlash");
    auto* panel = Named(new QFrame, "Panel5");
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);

    auto* baseRow = new QHBoxLayout;
    baseRow->addWidget(Caption("Flash start address"));
    baseRow->addWidget(HexCombo("lstFlashBase", {"50000000", "60000000", "7FE00000"}, 2));
    baseRow->addWidget(Button("cmdGetDevCode", "Check"));
    auto* flashCode = KeepPlace(Named(new QLabel("Flash IDCODE"), "lblFlashCode"));
    flashCode->setTextFormat(Qt::PlainText);
    flashCode->hide();
    baseRow->addWidget(flashCode, 1);

    auto* clear = Group("GroupBox3", "Clear Flash");
    auto* clearGrid = new QGridLayout(clear);
    clearGrid->addWidget(Caption("Sector address"), 0, 0);
    clearGrid->addWidget(Edit("txtBlkBase"), 0, 1);
    clearGrid->addWidget(Button("cmdProtect", "Block Protect Status"), 1, 0, 1, 2);
    clearGrid->addWidget(Button("cmdBlkErase", "Clear Sector"), 2, 0, 1, 2);
    clearGrid->addWidget(Button("cmdChipErase", "Clear Chip"), 3, 0, 1, 2);
    clearGrid->setRowStretch(4, 1);

    auto* write = Group("GroupBox4", "Write Flash");
    auto* writeGrid = new QGridLayout(write);
    writeGrid->addWidget(Caption("From address"), 0, 0);
    writeGrid->addWidget(Edit("txtFromAddr"), 0, 1);
    writeGrid->addWidget(Caption("Data Length"), 1, 0);
    writeGrid->addWidget(Edit("txtFlashLen"), 1, 1);
    writeGrid->addWidget(Button("cmdReadToFile", "Read to File"), 2, 0, 1, 2);
    writeGrid->addWidget(Button("cmdWriteFlash", "Write from File"), 3, 0, 1, 2);
    writeGrid->setRowStretch(4, 1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(clear);
    groups->addWidget(write);
    groups->addStretch();

    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addLayout(baseRow);
    panelLayout->addLayout(groups, 1);

    // "Abort !" sits on the page itself, outside the panel that busy mode disables.
    auto* abort = KeepPlace(Button("cmdCancel", "Abort !"));
    QFont abortFont = WindowFont();
    abortFont.setPointSize(12);
    abortFont.setBold(true);
    abort->setFont(abortFont);
    QPalette palette = abort->palette();
    palette.setColor(QPalette::ButtonText, Qt::red);
    abort->setPalette(palette);
    abort->setIcon(QApplication::style()->standardIcon(QStyle::SP_BrowserStop));
    abort->setIconSize(QSize(24, 24));
    abort->setMinimumHeight(48);
    abort->hide();

    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(panel, 1);
    auto* abortColumn = new QVBoxLayout;
    abortColumn->addStretch();
    abortColumn->addWidget(abort);
    abortColumn->addStretch();
    layout->addLayout(abortColumn);
    return page;
}

namespace {

// A monitor edit: eight hex digits, Courier New, blue on grey.
QLineEdit* MonitorEdit(const char* name) {
    auto* edit = Named(new QLineEdit("00000000"), name);
    edit->setFont(FixedFont());
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Text, Qt::blue);
    palette.setColor(QPalette::Base, kMonitorGrey);
    edit->setPalette(palette);
    edit->setFixedWidth(HexFieldWidth(edit));
    return edit;
}

QGroupBox* BuildMonitor() {
    auto* monitor = Group("GroupBox6", "DCU monitor");

    auto* start = Button("cmdStartDCU", "Start");
    QFont bold = WindowFont();
    bold.setBold(true);
    start->setFont(bold);

    // The up-down and its buddy edit are one spin box; its own edit carries the buddy's name.
    auto* poll = Named(new QSpinBox, "trkPoll");
    poll->setRange(100, 1000);
    poll->setSingleStep(100);
    poll->setValue(500);
    poll->setWrapping(false);
    poll->setKeyboardTracking(false);
    poll->setAccelerated(false);
    if (auto* buddy = poll->findChild<QLineEdit*>()) buddy->setObjectName("txtPoll");

    auto* grid = new QGridLayout(monitor);
    grid->addWidget(start, 0, 0, 1, 3);
    grid->addWidget(Caption("Polling interval"), 1, 0);
    auto* pollRow = new QHBoxLayout;
    pollRow->addWidget(poll);
    pollRow->addWidget(Caption("ms"));
    pollRow->addStretch();
    grid->addLayout(pollRow, 1, 1, 1, 2);

    const char* rows[][2] = {{"txtStatus", "Status"},
                             {"txtControl", "Control"},
                             {"txtWPAdr", "WP Address"},
                             {"txtJTFrom", "JT From"},
                             {"txtJTIptr", "JT Iptr"}};
    int row = 2;
    for (const auto& r : rows) {
        grid->addWidget(Caption(r[1]), row, 0);
        grid->addWidget(MonitorEdit(r[0]), row, 1);
        ++row;
    }
    auto* change = Named(new QPushButton, "cmdChgCtrl");
    change->setIcon(QApplication::style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    change->setToolTip("Change the DCU control register");
    change->setFixedSize(24, 22);
    grid->addWidget(change, 3, 2);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(row, 1);
    return monitor;
}

QGroupBox* BuildBatch() {
    auto* batch = Group("GroupBox7", "DCU Control - Batch Command");
    auto* list = Named(new QListWidget, "lstBatch");
    list->addItems({"C8000000", "C0000000", "40000000", "20000000"});
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setFixedWidth(HexFieldWidth(list) + 20);
    auto* layout = new QHBoxLayout(batch);
    layout->addWidget(list);
    layout->addLayout(
        Column({Button("cmdAddRec", "Add Record"), Button("cmdEditRec", "Edit Record"),
                Button("cmdDelRec", "Delete Record"), Button("cmdRunBatch", "Run Batch")}));
    return batch;
}

QGroupBox* BuildManual() {
    auto* manual = Group("GroupBox5", "Manual Commands");
    auto* grid = new QGridLayout(manual);
    grid->addWidget(Caption("Addr"), 0, 0);
    grid->addWidget(Edit("txtManAddr"), 0, 1);
    grid->addWidget(Caption("Data"), 1, 0);
    grid->addWidget(Edit("txtManData"), 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button("cmdManRead", "Read"));
    buttons->addWidget(Button("cmdManWrite", "Write"));
    grid->addLayout(buttons, 2, 0, 1, 3);
    auto* warning = Caption("Only for EXPERIENCED users !!! Don't anything at this section if You "
                            "not understand  WHAT are You  DOING !!!");
    warning->setWordWrap(true);
    QPalette palette = warning->palette();
    // Red while the section can be used; greyed out with it in busy mode.
    palette.setColor(QPalette::Active, QPalette::WindowText, Qt::darkRed);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, Qt::darkRed);
    warning->setPalette(palette);
    grid->addWidget(warning, 3, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(4, 1);
    return manual;
}

} // namespace

QWidget* BuildDcuPage() {
    auto* page = Named(new QWidget, "shDcuRegs");
    QFrame* panel = PanelOn(page, "Panel2");
    auto* layout = new QHBoxLayout(panel);
    layout->addWidget(BuildMonitor());
    layout->addWidget(BuildBatch());
    layout->addWidget(BuildManual(), 1);
    return page;
}

QWidget* BuildOtherPage() {
    auto* page = Named(new QWidget, "shOther");
    QFrame* panel = PanelOn(page, "Panel3");

    auto* conditions = Group("selBrkCond", "Break conditions");
    auto* group = new QButtonGroup(conditions);
    group->setExclusive(true);
    auto* radios = new QVBoxLayout(conditions);
    const char* items[] = {"Trap on interrupt", "Trap on next flow",
                           "Trap on watchpoint (Wptr) matched",
                           "Trap on breakpoint (Iptr) matched"};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(items[i]), conditions);
        radio->setObjectName(QString("selBrkCond%1").arg(i));
        group->addButton(radio, i);
        radios->addWidget(radio);
    }
    group->button(0)->setChecked(true);

    auto* loadDcu = KeepPlace(Button("cmdLoadDCU", "Load DCU"));
    loadDcu->hide();

    auto* verify = Group("GroupBox8", "RAM Writing Verification");
    auto* grid = new QGridLayout(verify);
    grid->addWidget(Caption("RAM address"), 0, 0);
    grid->addWidget(Edit("txtVrfRAM"), 0, 1);
    grid->addWidget(Button("cmdVrfRAM", "Verify RAM Load"), 1, 0, 1, 2);
    grid->addWidget(Button("cmdVrfTrap", "Verify Trap Handler"), 2, 0, 1, 2);
    grid->setRowStretch(3, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(conditions);
    left->addWidget(loadDcu, 0, Qt::AlignLeft);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(verify);
    right->addStretch();

    auto* layout = new QHBoxLayout(panel);
    layout->addLayout(left);
    layout->addLayout(right);
    layout->addStretch();
    return page;
}

} // namespace tapster::ui
