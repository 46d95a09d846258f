// The four pages of the page control. Every widget a command reads or writes carries its name as
// objectName; static captions and layout boxes carry none the commands rely on.
#include "ui/main_window_pages.h"

#include "core/widget_table.h"
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

#include <string_view>
#include <utility>

namespace tapster::ui {

namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <class W> W* Named(W* widget, WidgetId id) {
    widget->setObjectName(Q(id.Name()));
    return widget;
}

QLabel* Caption(const char* text) {
    auto* label = new QLabel(QString::fromLatin1(text));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* Button(WidgetId id) {
    return Named(new QPushButton(Q(id.Row().caption)), id);
}

QLineEdit* Edit(WidgetId id) {
    auto* edit = Named(new QLineEdit(Q(id.Row().caption)), id);
    edit->setFixedWidth(HexFieldWidth(edit));
    return edit;
}

QCheckBox* Check(WidgetId id) {
    auto* box = Named(new QCheckBox(Q(id.Row().caption)), id);
    box->setChecked(id.Row().checked);
    return box;
}

QStringList Items(WidgetId id) {
    QStringList items;
    for (std::string_view item : id.Row().items)
        items << Q(item);
    return items;
}

QComboBox* HexCombo(WidgetId id) {
    auto* combo = Named(new QComboBox, id);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(Items(id));
    combo->setCurrentIndex(id.Row().position);
    combo->setFixedWidth(HexFieldWidth(combo) + 24);
    return combo;
}

QLabel* Label(WidgetId id) {
    auto* label = Named(new QLabel(Q(id.Row().caption)), id);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A panel fills its page; the busy mode disables it as one.
QFrame* PanelOn(QWidget* page, WidgetId id) {
    auto* panel = Named(new QFrame, id);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(panel);
    return panel;
}

QGroupBox* Group(WidgetId id) {
    return Named(new QGroupBox(Q(id.Row().caption)), id);
}

// A group box that only frames its widgets; no command names it.
QGroupBox* FrameGroup(const char* name, const char* title) {
    auto* box = new QGroupBox(QString::fromLatin1(title));
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

// Keeps a widget's place in its layout while it is hidden, so showing it moves nothing.
template <class W> W* KeepPlace(W* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
    return widget;
}

// A widget the table starts hidden: hidden, and keeping its place.
template <class W> W* StartHidden(W* widget) {
    KeepPlace(widget)->hide();
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
    auto* page = Named(new QWidget, w::shChk);
    QFrame* panel = PanelOn(page, w::Panel1);

    auto* delay = Named(new QSlider(Qt::Horizontal), w::trkDelay);
    delay->setRange(w::trkDelay.Row().minimum, w::trkDelay.Row().maximum);
    delay->setTickInterval(w::trkDelay.Row().tick);
    delay->setTickPosition(QSlider::TicksBelow);
    delay->setValue(w::trkDelay.Row().position);
    auto* delayValue = Label(w::lblDelay);
    delayValue->setMinimumWidth(QFontMetrics(WindowFont()).horizontalAdvance("00000"));
    auto* clock = Label(w::lblJtagClk);
    clock->setMinimumWidth(QFontMetrics(WindowFont()).horizontalAdvance("0000"));

    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(Caption("Jtag delay"));
    delayRow->addWidget(delay, 1);
    delayRow->addWidget(delayValue);
    delayRow->addSpacing(12);
    delayRow->addWidget(Caption("TAP clock frequency, MHZ"));
    delayRow->addWidget(clock);
    delayRow->addWidget(Button(w::cmdDelay));

    // Where the trap routine and its 64k buffer go.
    auto* memory = FrameGroup("GroupBox1", "Trap and memory buffer (64k) start address");
    auto* memoryGrid = new QGridLayout(memory);
    memoryGrid->addWidget(Caption("RAM start address"), 0, 0);
    memoryGrid->addWidget(Edit(w::txtRAM), 0, 1);
    memoryGrid->addWidget(Caption("Video RAM start address"), 1, 0);
    memoryGrid->addWidget(Edit(w::txtVRAM), 1, 1);
    memoryGrid->addWidget(Caption("Trap routine address"), 2, 0);
    memoryGrid->addWidget(HexCombo(w::lstTrapAddr), 2, 1);
    memoryGrid->addWidget(Caption("Free Memory Condition"), 3, 0);
    memoryGrid->addWidget(Check(w::chk1), 3, 1);
    memoryGrid->addWidget(Check(w::chk0), 4, 1);
    memoryGrid->addWidget(Button(w::cmdMemSeek), 5, 1);
    memoryGrid->setColumnStretch(2, 1);

    auto* params = FrameGroup("GroupBox2", "Trap routine parameters");
    auto* paramGrid = new QGridLayout(params);
    paramGrid->addWidget(Caption("Trapped process Priority"), 0, 0, 1, 2);
    paramGrid->addWidget(Check(w::chkHiPri), 1, 0);
    paramGrid->addWidget(Check(w::chkLowPri), 1, 1);
    paramGrid->addWidget(Caption("Group of Traps"), 2, 0, 1, 2);
    paramGrid->addWidget(Check(w::chkBrkTrap), 3, 0);
    paramGrid->addWidget(Check(w::chkErrTrap), 3, 1);
    paramGrid->addWidget(Check(w::chkSysTrap), 4, 0);
    paramGrid->addWidget(Check(w::chkSchedTrap), 4, 1);
    paramGrid->setRowStretch(5, 1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(memory, 1);
    groups->addWidget(params);
    groups->addLayout(Column({Button(w::cmdChkTraps), Button(w::cmdReadRom), Button(w::cmdLoadTrap),
                              Button(w::cmdInstTrap), Button(w::cmdTakeTrap)}));

    auto* layout = new QVBoxLayout(panel);
    layout->addLayout(delayRow);
    layout->addLayout(groups, 1);
    return page;
}

QWidget* BuildFlashPage() {
    auto* page = Named(new QWidget, w::shFlash);
    auto* panel = Named(new QFrame, w::Panel5);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);

    auto* baseRow = new QHBoxLayout;
    baseRow->addWidget(Caption("Flash start address"));
    baseRow->addWidget(HexCombo(w::lstFlashBase));
    baseRow->addWidget(Button(w::cmdGetDevCode));
    auto* flashCode = StartHidden(Label(w::lblFlashCode));
    baseRow->addWidget(flashCode, 1);

    auto* clear = FrameGroup("GroupBox3", "Clear Flash");
    auto* clearGrid = new QGridLayout(clear);
    clearGrid->addWidget(Caption("Sector address"), 0, 0);
    clearGrid->addWidget(Edit(w::txtBlkBase), 0, 1);
    clearGrid->addWidget(Button(w::cmdProtect), 1, 0, 1, 2);
    clearGrid->addWidget(Button(w::cmdBlkErase), 2, 0, 1, 2);
    clearGrid->addWidget(Button(w::cmdChipErase), 3, 0, 1, 2);
    clearGrid->setRowStretch(4, 1);

    auto* write = FrameGroup("GroupBox4", "Write Flash");
    auto* writeGrid = new QGridLayout(write);
    writeGrid->addWidget(Caption("From address"), 0, 0);
    writeGrid->addWidget(Edit(w::txtFromAddr), 0, 1);
    writeGrid->addWidget(Caption("Data Length"), 1, 0);
    writeGrid->addWidget(Edit(w::txtFlashLen), 1, 1);
    writeGrid->addWidget(Button(w::cmdReadToFile), 2, 0, 1, 2);
    writeGrid->addWidget(Button(w::cmdWriteFlash), 3, 0, 1, 2);
    writeGrid->setRowStretch(4, 1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(clear);
    groups->addWidget(write);
    groups->addStretch();

    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addLayout(baseRow);
    panelLayout->addLayout(groups, 1);

    // "Abort !" sits on the page itself, outside the panel that busy mode disables.
    auto* abort = StartHidden(Button(w::cmdCancel));
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
QLineEdit* MonitorEdit(WidgetId id) {
    auto* edit = Named(new QLineEdit(Q(id.Row().caption)), id);
    edit->setFont(FixedFont());
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Text, Qt::blue);
    palette.setColor(QPalette::Base, kMonitorGrey);
    edit->setPalette(palette);
    edit->setFixedWidth(HexFieldWidth(edit));
    return edit;
}

QGroupBox* BuildMonitor() {
    auto* monitor = Group(w::GroupBox6);

    auto* start = Button(w::cmdStartDCU);
    QFont bold = WindowFont();
    bold.setBold(true);
    start->setFont(bold);

    // The up-down and its buddy edit are one spin box; its own edit carries the buddy's name.
    const WidgetRow& pollRow = w::trkPoll.Row();
    auto* poll = Named(new QSpinBox, w::trkPoll);
    poll->setRange(pollRow.minimum, pollRow.maximum);
    poll->setSingleStep(pollRow.tick);
    poll->setValue(pollRow.position);
    poll->setWrapping(false);
    poll->setKeyboardTracking(false);
    poll->setAccelerated(false);
    if (auto* buddy = poll->findChild<QLineEdit*>()) buddy->setObjectName(Q(w::txtPoll.Name()));

    auto* grid = new QGridLayout(monitor);
    grid->addWidget(start, 0, 0, 1, 3);
    grid->addWidget(Caption("Polling interval"), 1, 0);
    auto* pollLine = new QHBoxLayout;
    pollLine->addWidget(poll);
    pollLine->addWidget(Caption("ms"));
    pollLine->addStretch();
    grid->addLayout(pollLine, 1, 1, 1, 2);

    const std::pair<WidgetId, const char*> rows[] = {{w::txtStatus, "Status"},
                                                     {w::txtControl, "Control"},
                                                     {w::txtWPAdr, "WP Address"},
                                                     {w::txtJTFrom, "JT From"},
                                                     {w::txtJTIptr, "JT Iptr"}};
    int row = 2;
    for (const auto& [id, caption] : rows) {
        grid->addWidget(Caption(caption), row, 0);
        grid->addWidget(MonitorEdit(id), row, 1);
        ++row;
    }
    auto* change = Button(w::cmdChgCtrl);
    change->setIcon(QApplication::style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    change->setToolTip("Change the DCU control register");
    change->setFixedSize(24, 22);
    grid->addWidget(change, 3, 2);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(row, 1);
    return monitor;
}

QGroupBox* BuildBatch() {
    auto* batch = Group(w::GroupBox7);
    auto* list = Named(new QListWidget, w::lstBatch);
    list->addItems(Items(w::lstBatch));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setFixedWidth(HexFieldWidth(list) + 20);
    auto* layout = new QHBoxLayout(batch);
    layout->addWidget(list);
    layout->addLayout(Column({Button(w::cmdAddRec), Button(w::cmdEditRec), Button(w::cmdDelRec),
                              Button(w::cmdRunBatch)}));
    return batch;
}

QGroupBox* BuildManual() {
    auto* manual = Group(w::GroupBox5);
    auto* grid = new QGridLayout(manual);
    grid->addWidget(Caption("Addr"), 0, 0);
    grid->addWidget(Edit(w::txtManAddr), 0, 1);
    grid->addWidget(Caption("Data"), 1, 0);
    grid->addWidget(Edit(w::txtManData), 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button(w::cmdManRead));
    buttons->addWidget(Button(w::cmdManWrite));
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
    auto* page = Named(new QWidget, w::shDcuRegs);
    QFrame* panel = PanelOn(page, w::Panel2);
    auto* layout = new QHBoxLayout(panel);
    layout->addWidget(BuildMonitor());
    layout->addWidget(BuildBatch());
    layout->addWidget(BuildManual(), 1);
    return page;
}

QWidget* BuildOtherPage() {
    auto* page = Named(new QWidget, w::shOther);
    QFrame* panel = PanelOn(page, w::Panel3);

    auto* conditions = Group(w::selBrkCond);
    auto* group = new QButtonGroup(conditions);
    group->setExclusive(true);
    auto* radios = new QVBoxLayout(conditions);
    const QStringList items = Items(w::selBrkCond);
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], conditions);
        radio->setObjectName(Q(w::selBrkCond.Name()) + QString::number(i));
        group->addButton(radio, i);
        radios->addWidget(radio);
    }
    group->button(w::selBrkCond.Row().position)->setChecked(true);

    auto* loadDcu = StartHidden(Button(w::cmdLoadDCU));

    auto* verify = Group(w::GroupBox8);
    auto* grid = new QGridLayout(verify);
    grid->addWidget(Caption("RAM address"), 0, 0);
    grid->addWidget(Edit(w::txtVrfRAM), 0, 1);
    grid->addWidget(Button(w::cmdVrfRAM), 1, 0, 1, 2);
    grid->addWidget(Button(w::cmdVrfTrap), 2, 0, 1, 2);
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
