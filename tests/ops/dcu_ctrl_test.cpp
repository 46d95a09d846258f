// The control-register dialog's value logic: fifteen boxes for bits 31..17, nothing below.
#include "ops/dcu_ctrl.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace tapster {
namespace {

TEST(DcuControlBits, FifteenBoxesTopToBottomFromBit31To17) {
    std::set<std::string> widgets;
    for (size_t i = 0; i < kControlBits.size(); ++i) {
        EXPECT_EQ(kControlBits[i].bit, 31 - static_cast<int>(i));
        const std::string caption = kControlBits[i].caption;
        EXPECT_EQ(caption.substr(0, 2), std::to_string(kControlBits[i].bit)) << caption;
        widgets.insert(kControlBits[i].widget);
    }
    EXPECT_EQ(widgets.size(), 15u);
    EXPECT_STREQ(kControlBits[0].widget, "chk31");
    EXPECT_STREQ(kControlBits[0].caption, "31 (STALL CPU)");
    EXPECT_STREQ(kControlBits[14].widget, "CheckBox14");
    EXPECT_STREQ(kControlBits[14].caption, "17 (Inhibit until Next flow)");
}

TEST(DcuControlDialog, FillBitsIgnoresBitsBelow17) {
    ControlRegisterState dlg;
    dlg.FillBits(0x0003FFFF);
    for (int bit = 0; bit < 32; ++bit)
        EXPECT_EQ(dlg.BoxChecked(bit), bit == 17) << bit;
    dlg.cmdSendCtrlClick();
    EXPECT_EQ(dlg.ControlValue, 0x00020000u);
}

TEST(DcuControlDialog, SendComposesCheckedBoxesOnly) {
    ControlRegisterState dlg;
    dlg.FillBits(0xFFFFFFFF); // a txtControl that is not hex
    dlg.cmdSendCtrlClick();
    EXPECT_EQ(dlg.ControlValue, 0xFFFE0000u);

    dlg.SetBoxChecked(31, false);
    dlg.SetBoxChecked(27, false);
    dlg.SetBoxChecked(3, true); // no box for bit 3: stays out of the value
    dlg.cmdSendCtrlClick();
    EXPECT_EQ(dlg.ControlValue, 0x77FE0000u);

    dlg.FillBits(0);
    dlg.cmdSendCtrlClick();
    EXPECT_EQ(dlg.ControlValue, 0u);
}

TEST(DcuControlDialog, FillBitsReplacesEarlierBoxes) {
    ControlRegisterState dlg;
    dlg.FillBits(0xC8000000);
    dlg.FillBits(0x20000000);
    dlg.cmdSendCtrlClick();
    EXPECT_EQ(dlg.ControlValue, 0x20000000u);
    dlg.cmdCancelClick();
    EXPECT_EQ(dlg.ControlValue, 0x20000000u); // Cancel keeps the last composed value
}

} // namespace
} // namespace tapster
