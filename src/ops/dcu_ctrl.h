// The control-register dialog's state and logic (frmControl); the window only shows it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tapster {

struct ControlBit {
    int bit;            // the check box's tag
    const char* widget; // its name in the dialog
    const char* caption;
};

// The fifteen boxes, top to bottom: bits 31 down to 17.
extern const std::array<ControlBit, 15> kControlBits;

// What the control-register dialog frmControl holds: its boxes and the value "Send" composed. The
// Qt dialog (ui::TfrmControl) shows it; the CLI and the tests use it alone.
class ControlRegisterState {
  public:
    // Sets every box from value; bits 0 to 16 are ignored.
    void FillBits(uint32_t value);
    // Composes ControlValue from the boxes (the "Send" button).
    void cmdSendCtrlClick();
    void cmdCancelClick() {}

    bool BoxChecked(int bit) const;
    void SetBoxChecked(int bit, bool checked);
    uint32_t ControlValue = 0;

  private:
    uint32_t boxes_ = 0; // one bit per box, at the box's own bit position
};

extern ControlRegisterState frmControl;

} // namespace tapster
