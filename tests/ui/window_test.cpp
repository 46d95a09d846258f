// The main window against its widget table: every widget the commands name exists under that
// name, of the right kind, in the right container, with its caption, default, items and state.
#include "gui_support.h"

#include "core/widget_store.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "ui/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <set>

namespace tapster::test {
namespace {

using ui::TfrmMain;

// The plain widget table, with each widget's container readable. It never shows a box.
struct Table : WidgetStore {
    using WidgetStore::At;
    void ErrorBox(const std::string&) override {}
    bool WarningQuestion(const std::string&) override { return false; }
    bool YesNoQuestion(const std::string&) override { return false; }
    bool ChooseFile(std::string&) override { return false; }
    bool ShowControlDialog() override { return false; }
    void ProcessEvents() override {}
    void HandleOneEvent() override {}
};

bool HasKind(QObject* o, WidgetKind kind) {
    switch (kind) {
    case WidgetKind::Label:
        return qobject_cast<QLabel*>(o) != nullptr;
    case WidgetKind::Button:
        return qobject_cast<QPushButton*>(o) != nullptr;
    case WidgetKind::Edit:
        return qobject_cast<QLineEdit*>(o) != nullptr;
    case WidgetKind::Combo: {
        auto* combo = qobject_cast<QComboBox*>(o);
        return combo != nullptr && combo->isEditable();
    }
    case WidgetKind::Check:
        return qobject_cast<QCheckBox*>(o) != nullptr;
    case WidgetKind::Slider:
        return qobject_cast<QSlider*>(o) != nullptr;
    case WidgetKind::UpDown:
        return qobject_cast<QSpinBox*>(o) != nullptr;
    case WidgetKind::Progress:
        return qobject_cast<QProgressBar*>(o) != nullptr;
    case WidgetKind::Radio: {
        auto* box = qobject_cast<QGroupBox*>(o);
        return box != nullptr && box->findChild<QButtonGroup*>() != nullptr;
    }
    case WidgetKind::List:
        return qobject_cast<QListWidget*>(o) != nullptr;
    case WidgetKind::Container:
        return qobject_cast<QWidget*>(o) != nullptr;
    }
    return false;
}

// The nearest enclosing container that the table names ("" for the window itself). The buddy
// edit of an up-down sits inside the up-down, and belongs where the up-down does.
std::string ContainerOf(QWidget* w, const Table& table) {
    for (QWidget* p = w->parentWidget(); p != nullptr; p = p->parentWidget()) {
        const std::string name = p->objectName().toStdString();
        if (table.Has(name) && table.KindOf(name) != WidgetKind::UpDown) return name;
    }
    return "";
}

class MainWindowTest : public GuiTest {};

TEST_F(MainWindowTest, EveryWidgetMatchesTheWidgetTableAfterStartUp) {
    // The plain widget table after the same start-up is what the window must show.
    Table expected;
    frmMain = &expected;
    FormCreate();
    ASSERT_EQ(expected.Text("lblSpeed"), "2400");

    TfrmMain window;
    ui::QtMainForm& form = window.Form();
    ASSERT_EQ(frmMain, &form);

    for (const std::string& name : expected.Names()) {
        SCOPED_TRACE(name);
        QObject* o = window.findChild<QObject*>(QString::fromStdString(name));
        ASSERT_NE(o, nullptr) << "no widget named " << name;
        auto* w = qobject_cast<QWidget*>(o);
        ASSERT_NE(w, nullptr);
        const WidgetKind kind = expected.KindOf(name);
        EXPECT_TRUE(HasKind(o, kind)) << o->metaObject()->className();
        EXPECT_EQ(ContainerOf(w, expected), expected.At(name).parent);
        EXPECT_EQ(form.Visible(name), expected.Visible(name));
        EXPECT_EQ(form.Enabled(name), expected.Enabled(name));
        switch (kind) {
        case WidgetKind::Label:
        case WidgetKind::Button:
        case WidgetKind::Edit:
        case WidgetKind::Radio:
            EXPECT_EQ(form.Text(name), expected.Text(name));
            break;
        case WidgetKind::Check:
            EXPECT_EQ(form.Text(name), expected.Text(name));
            EXPECT_EQ(form.Checked(name), expected.Checked(name));
            break;
        case WidgetKind::Combo:
            EXPECT_EQ(form.Text(name), expected.Text(name));
            EXPECT_EQ(form.Position(name), expected.Position(name));
            EXPECT_EQ(form.Items(name), expected.Items(name));
            break;
        case WidgetKind::Slider:
        case WidgetKind::UpDown:
            EXPECT_EQ(form.TickInterval(name), expected.TickInterval(name));
            [[fallthrough]];
        case WidgetKind::Progress:
            EXPECT_EQ(form.Position(name), expected.Position(name));
            EXPECT_EQ(form.Minimum(name), expected.Minimum(name));
            EXPECT_EQ(form.Maximum(name), expected.Maximum(name));
            break;
        case WidgetKind::List:
            EXPECT_EQ(form.Position(name), expected.Position(name));
            EXPECT_EQ(form.Items(name), expected.Items(name));
            break;
        case WidgetKind::Container:
            // Group boxes carry their captions; panels, pages and the log start empty.
            EXPECT_EQ(form.Text(name), expected.Text(name));
            break;
        }
    }
    EXPECT_EQ(form.TimerEnabled(), expected.TimerEnabled());
    EXPECT_EQ(form.TimerInterval(), expected.TimerInterval());
    // The radio group's items and selection.
    EXPECT_EQ(form.Items("selBrkCond"), expected.Items("selBrkCond"));
    EXPECT_EQ(form.Position("selBrkCond"), 0);
}

TEST_F(MainWindowTest, StartUpSizesTheDelaySliderFromTheCpuSpeed) {
    TfrmMain window;
    ui::QtMainForm& form = window.Form();
    EXPECT_EQ(form.Text("lblSpeed"), "2400");
    EXPECT_EQ(form.Maximum("trkDelay"), 2378);
    EXPECT_EQ(form.TickInterval("trkDelay"), 118);
    EXPECT_EQ(form.Text("lblJtagClk"), "109");
    EXPECT_EQ(form.Text("lblDelay"), "0");
    EXPECT_FALSE(form.Visible("ProgressBar1"));
    EXPECT_FALSE(StartDirectory.empty());
}

TEST_F(MainWindowTest, WindowPagesAndLogLookAsSpecified) {
    TfrmMain window;
    EXPECT_EQ(window.windowTitle(), "Tapster");
    EXPECT_EQ(window.font().family(), "MS Sans Serif");
    EXPECT_EQ(window.font().pointSize(), 8);
    // Every page fits the window's size: showing it does not make the window grow.
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.size(), QSize(700, 539));
    EXPECT_LE(window.minimumSizeHint().width(), 700);
    EXPECT_LE(window.minimumSizeHint().height(), 539);

    auto* pages = window.findChild<QTabWidget*>("shDCU");
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->count(), 4);
    const char* titles[] = {"Hardware Config", "Flash Programming", "DCU registers",
                            "Other stuffs"};
    const char* names[] = {"shChk", "shFlash", "shDcuRegs", "shOther"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pages->tabText(i), titles[i]);
        EXPECT_EQ(pages->widget(i)->objectName(), names[i]);
    }
    EXPECT_EQ(pages->currentIndex(), 0);

    auto* memo = window.findChild<QPlainTextEdit*>("Memo4");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(memo->toPlainText().isEmpty());

    auto* timer = window.findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive());

    auto* delay = window.findChild<QSlider*>("trkDelay");
    EXPECT_NE(delay->tickPosition(), QSlider::NoTicks);
    auto* poll = window.findChild<QSpinBox*>("trkPoll");
    EXPECT_FALSE(poll->wrapping());
    EXPECT_EQ(poll->singleStep(), 100);
    // The buddy edit is the up-down's own field.
    EXPECT_EQ(window.findChild<QLineEdit*>("txtPoll")->parent(), poll);
}

TEST_F(MainWindowTest, FontsAndColoursOfTheMarkedWidgets) {
    TfrmMain window;
    for (const char* name : {"Label4", "lblSpeed"}) {
        auto* label = window.findChild<QLabel*>(name);
        EXPECT_TRUE(label->font().bold()) << name;
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 0x80)) << name;
    }
    auto* abort = window.findChild<QPushButton*>("cmdCancel");
    EXPECT_TRUE(abort->font().bold());
    EXPECT_EQ(abort->font().pointSize(), 12);
    EXPECT_EQ(abort->palette().color(QPalette::ButtonText), QColor(Qt::red));
    EXPECT_FALSE(abort->icon().isNull());
    EXPECT_FALSE(window.findChild<QPushButton*>("cmdChgCtrl")->icon().isNull());
    EXPECT_TRUE(window.findChild<QPushButton*>("cmdStartDCU")->font().bold());

    auto* address = window.findChild<QLabel*>("lblAdr");
    EXPECT_EQ(address->font().family(), "Courier New");
    EXPECT_EQ(address->palette().color(QPalette::WindowText), QColor(Qt::blue));
    for (const char* name : {"txtStatus", "txtControl", "txtWPAdr", "txtJTFrom", "txtJTIptr"}) {
        auto* edit = window.findChild<QLineEdit*>(name);
        EXPECT_EQ(edit->font().family(), "Courier New") << name;
        EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(Qt::blue)) << name;
        EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0)) << name;
        EXPECT_FALSE(edit->isReadOnly()) << name;
    }
}

TEST_F(MainWindowTest, StaticCaptionsAndGroupBoxesAreShown) {
    TfrmMain window;
    std::set<QString> captions;
    for (QLabel* l : window.findChildren<QLabel*>())
        captions.insert(l->text());
    std::set<QString> groups;
    for (QGroupBox* g : window.findChildren<QGroupBox*>())
        groups.insert(g->title());

    for (const char* c :
         {"Jtag delay",
          "TAP clock frequency, MHZ",
          "RAM start address",
          "Video RAM start address",
          "Trap routine address",
          "Free Memory Condition",
          "Trapped process Priority",
          "Group of Traps",
          "Flash start address",
          "Sector address",
          "From address",
          "Data Length",
          "Polling interval",
          "Status",
          "Control",
          "WP Address",
          "JT From",
          "JT Iptr",
          "Addr",
          "Data",
          "RAM address",
          "Only for EXPERIENCED users !!! Don't anything at this section if You not understand  "
          "WHAT are You  DOING !!!"})
        EXPECT_EQ(captions.count(c), 1u) << c;
    for (const char* g :
         {"Trap and memory buffer (64k) start address", "Trap routine parameters", "Clear Flash",
          "Write Flash", "DCU monitor", "DCU Control - Batch Command", "Manual Commands",
          "RAM Writing Verification", "Break conditions"})
        EXPECT_EQ(groups.count(g), 1u) << g;

    // The named group boxes carry their own captions.
    ui::QtMainForm& form = window.Form();
    EXPECT_EQ(form.Text("GroupBox5"), "Manual Commands");
    EXPECT_EQ(form.Text("GroupBox6"), "DCU monitor");
    EXPECT_EQ(form.Text("GroupBox7"), "DCU Control - Batch Command");
    EXPECT_EQ(form.Text("GroupBox8"), "RAM Writing Verification");
}

TEST_F(MainWindowTest, BusyModeDisablesExactlyTheCommandContainers) {
    TfrmMain window;
    window.show();
    ui::QtMainForm& form = window.Form();
    Table table;
    const std::set<std::string> busy = {"Panel1", "Panel3", "Panel5", "GroupBox5", "GroupBox7"};

    Deactivate();
    for (const std::string& name : table.Names())
        EXPECT_EQ(form.Enabled(name), busy.count(name) == 0) << name;
    EXPECT_TRUE(form.Visible("cmdCancel"));
    // What the user can still reach: the Abort button, the monitor and the pages.
    EXPECT_TRUE(form.Widget("cmdCancel")->isEnabled());
    EXPECT_TRUE(form.Widget("cmdStartDCU")->isEnabled());
    EXPECT_TRUE(form.Widget("cmdChgCtrl")->isEnabled());
    EXPECT_TRUE(form.Widget("trkPoll")->isEnabled());
    auto* pages = window.findChild<QTabWidget*>("shDCU");
    EXPECT_TRUE(pages->tabBar()->isEnabled());
    for (int i = 0; i < pages->count(); ++i)
        EXPECT_TRUE(pages->isTabEnabled(i));
    // And what it cannot.
    for (const char* name : {"cmdDelay", "cmdWriteFlash", "cmdManRead", "cmdRunBatch", "lstBatch",
                             "cmdVrfTrap", "selBrkCond", "trkDelay"})
        EXPECT_FALSE(form.Widget(name)->isEnabled()) << name;

    Activate();
    for (const std::string& name : table.Names())
        EXPECT_TRUE(form.Enabled(name)) << name;
    EXPECT_FALSE(form.Visible("cmdCancel"));
    EXPECT_TRUE(form.Widget("cmdDelay")->isEnabled());
}

TEST_F(MainWindowTest, MovingTheDelaySliderUpdatesTheClockLabels) {
    TfrmMain window;
    auto* delay = window.findChild<QSlider*>("trkDelay");
    delay->setValue(218);
    EXPECT_EQ(window.Form().Text("lblDelay"), "218");
    EXPECT_EQ(window.Form().Text("lblJtagClk"), "10");
    delay->setValue(delay->maximum());
    EXPECT_EQ(window.Form().Text("lblDelay"), "2378");
    EXPECT_EQ(window.Form().Text("lblJtagClk"), "1");
}

TEST_F(MainWindowTest, PollIntervalArrowsSetTheTimerInterval) {
    TfrmMain window;
    auto* poll = window.findChild<QSpinBox*>("trkPoll");
    poll->stepUp();
    EXPECT_EQ(window.Form().Position("trkPoll"), 600);
    EXPECT_EQ(window.Form().Text("txtPoll"), "600");
    EXPECT_EQ(window.Form().TimerInterval(), 600);
    poll->setValue(100);
    poll->stepDown(); // no wrap: stays at the minimum
    EXPECT_EQ(window.Form().TimerInterval(), 100);
    EXPECT_FALSE(window.Form().TimerEnabled());
}

TEST_F(MainWindowTest, DestroyingTheWindowLeavesNoDanglingForm) {
    {
        TfrmMain window;
        EXPECT_EQ(frmMain, &window.Form());
    }
    EXPECT_EQ(frmMain, nullptr);
}

} // namespace
} // namespace tapster::test
