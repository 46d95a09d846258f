// The control-register dialog frmControl: fifteen check boxes for bits 31 down to 17 of
// DCU_CONTROL, "Send" and "Cancel". The boxes' state and the composed value live in
// tapster::frmControl (no Qt); this window only shows and edits them.
#pragma once

#include <QDialog>

#include <array>

class QCheckBox;
class QPushButton;

namespace tapster::ui {

class TfrmControl : public QDialog {
    Q_OBJECT

  public:
    explicit TfrmControl(QWidget* parent = nullptr);

    // Shows the boxes as tapster::frmControl holds them and waits for the user. On "Send" the
    // boxes go back into tapster::frmControl and its ControlValue is composed; true then.
    bool Execute();

    // The box of a control bit (17 to 31), or nullptr.
    QCheckBox* Box(int bit) const;
    QPushButton* SendButton() const { return send_; }
    QPushButton* CancelButton() const { return cancel_; }

  private:
    void LoadBoxes();
    void cmdSendCtrlClick();

    std::array<QCheckBox*, 15> boxes_{};
    QPushButton* send_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace tapster::ui
