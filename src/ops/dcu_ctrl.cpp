// The control-register dialog's state: fifteen boxes for bits 31 down to 17 of DCU_CONTROL.
#include "ops/dcu_ctrl.h"

namespace tapster {

const std::array<ControlBit, 15> kControlBits = {{
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
}};

ControlRegisterState frmControl;

namespace {

bool HasBox(int bit) {
    for (const ControlBit& b : kControlBits)
        if (b.bit == bit) return true;
    return false;
}

uint32_t Mask(int bit) {
    return uint32_t{1} << bit;
}

} // namespace

void ControlRegisterState::FillBits(uint32_t value) {
    boxes_ = 0;
    for (const ControlBit& b : kControlBits)
        if ((value & Mask(b.bit)) != 0) boxes_ |= Mask(b.bit);
}

void ControlRegisterState::cmdSendCtrlClick() {
    ControlValue = 0;
    for (const ControlBit& b : kControlBits)
        if (BoxChecked(b.bit)) ControlValue |= Mask(b.bit);
}

bool ControlRegisterState::BoxChecked(int bit) const {
    return HasBox(bit) && (boxes_ & Mask(bit)) != 0;
}

void ControlRegisterState::SetBoxChecked(int bit, bool checked) {
    if (!HasBox(bit)) return; // bits without a box cannot be ticked
    if (checked)
        boxes_ |= Mask(bit);
    else
        boxes_ &= ~Mask(bit);
}

} // namespace tapster
