// The control-register dialog: its fifteen boxes, and how it shows and composes the value the
// commands hold in frmControl.
#include "gui_support.h"

#include "ops/dcu_ctrl.h"
#include "ui/control_dialog.h"
#include "ui/main_window.h"

#include <QCheckBox>
#include <QFrame>
#include <QPushButton>

namespace tapster::test {
namespace {

struct Box {
    int bit;
    const char* widget;
    const char* caption;
};

// Top to bottom, as the dialog shows them.
constexpr Box kBoxes[] = {
    {31, "chk31", "31 (STALL CPU)"},
    {30, "CheckBox1", "30 (STALL at Deschedule)"},
    {29, "CheckBox2", "29 (Trap at interrupt)"},
    {28, "CheckBox3", "28 (Trap at next instruction)"},
    {27, "CheckBox7", "27 (Reset CPU)"},
    {26, "CheckBox8", "26 (SUBSYS INIT)"},
    {25, "CheckBox9", "25 (SUBSYS STALL)"},
    {24, "CheckBox10", "24 (Disable Grouping)"},
    {23, "CheckBox11", "23 (Write lock)"},
    {22, "CheckBox12", "22 (Cancel lock on trap)"},
    {21, "CheckBox13", "21 (Target poke enable)"},
    {20, "CheckBox4", "20 (Target peek enable)"},
    {19, "CheckBox5", "19 (Device access)"},
    {18, "CheckBox6", "18 (Inhibit Trap)"},
    {17, "CheckBox14", "17 (Inhibit until Next flow)"},
};

class ControlDialogTest : public GuiTest {};

TEST_F(ControlDialogTest, FifteenBoxesInOneColumnWithSendAndCancel) {
    ui::TfrmControl dialog;
    EXPECT_EQ(dialog.windowTitle(), "DCU Control register");
    EXPECT_EQ(dialog.objectName(), "frmControl");
    EXPECT_EQ(dialog.size(), QSize(205, 348));
    EXPECT_FALSE(dialog.isVisible());

    auto* panel = dialog.findChild<QFrame*>("Panel1");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
    int lastY = -1;
    int x = -1;
    dialog.show(); // lays the boxes out
    for (const Box& b : kBoxes) {
        SCOPED_TRACE(b.widget);
        auto* box = dialog.findChild<QCheckBox*>(b.widget);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), b.caption);
        EXPECT_EQ(box->parentWidget(), panel);
        EXPECT_EQ(dialog.Box(b.bit), box);
        EXPECT_GT(box->y(), lastY);
        if (x >= 0) {
            EXPECT_EQ(box->x(), x);
        }
        lastY = box->y();
        x = box->x();
        // Each caption fits the dialog's width.
        EXPECT_LE(box->sizeHint().width(), box->width());
    }
    // Shown, the dialog keeps its size: its contents fit 205 x 348.
    EXPECT_EQ(dialog.size(), QSize(205, 348));
    EXPECT_GT(dialog.SendButton()->y(), lastY);
    EXPECT_LE(dialog.SendButton()->geometry().bottom(), 348);
    dialog.hide();
    EXPECT_EQ(dialog.SendButton()->objectName(), "cmdSendCtrl");
    EXPECT_EQ(dialog.SendButton()->text(), "Send");
    EXPECT_TRUE(dialog.SendButton()->isDefault());
    EXPECT_EQ(dialog.CancelButton()->objectName(), "cmdCancel");
    EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
    EXPECT_EQ(dialog.Box(16), nullptr);
}

TEST_F(ControlDialogTest, ShowsTheBoxesAndSendComposesTheValue) {
    ui::TfrmControl dialog;
    frmControl.FillBits(0x0003FFFF); // only bit 17 has a box
    bool shownAsFilled = false;
    WhenModalOpens([&](QWidget* modal) {
        ASSERT_EQ(modal, &dialog);
        shownAsFilled = dialog.Box(17)->isChecked() && !dialog.Box(18)->isChecked() &&
                        !dialog.Box(31)->isChecked();
        dialog.Box(31)->setChecked(true);
        dialog.Box(27)->setChecked(true);
        dialog.SendButton()->click();
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_TRUE(shownAsFilled);
    EXPECT_EQ(frmControl.ControlValue, 0x88020000u);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(ControlDialogTest, CancelComposesNothing) {
    ui::TfrmControl dialog;
    frmControl.ControlValue = 0x12340000;
    frmControl.FillBits(0);
    WhenModalOpens([&](QWidget*) {
        dialog.Box(30)->setChecked(true);
        dialog.CancelButton()->click();
    });
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(frmControl.ControlValue, 0x12340000u);
    EXPECT_FALSE(frmControl.BoxChecked(30));
}

TEST_F(ControlDialogTest, EveryShowingStartsFromTheHeldBoxes) {
    ui::TfrmControl dialog;
    frmControl.FillBits(0xFFFFFFFF);
    WhenModalOpens([&](QWidget*) { dialog.SendButton()->click(); });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(frmControl.ControlValue, 0xFFFE0000u);

    frmControl.FillBits(0);
    bool allClear = false;
    WhenModalOpens([&](QWidget*) {
        allClear = true;
        for (const Box& b : kBoxes)
            allClear = allClear && !dialog.Box(b.bit)->isChecked();
        dialog.SendButton()->click();
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_TRUE(allClear);
    EXPECT_EQ(frmControl.ControlValue, 0u);
}

TEST_F(ControlDialogTest, MainFormShowsTheDialogForTheCommands) {
    ui::TfrmMain window;
    ui::TfrmControl dialog;
    window.SetControlDialog(&dialog);
    frmControl.FillBits(0x40000000);
    WhenModalOpens([&](QWidget*) { dialog.SendButton()->click(); });
    EXPECT_TRUE(window.Form().ShowControlDialog());
    EXPECT_EQ(frmControl.ControlValue, 0x40000000u);
}

TEST_F(ControlDialogTest, AddRecordAppendsTheComposedValueToTheBatch) {
    ui::TfrmMain window;
    ui::TfrmControl dialog;
    window.SetControlDialog(&dialog);
    WhenModalOpens([&](QWidget*) {
        dialog.Box(29)->setChecked(true);
        dialog.Box(21)->setChecked(true);
        dialog.SendButton()->click();
    });
    window.findChild<QPushButton*>("cmdAddRec")->click();
    const std::vector<std::string> items = window.Form().Items("lstBatch");
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items.back(), "20200000");
}

} // namespace
} // namespace tapster::test
