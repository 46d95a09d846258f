#include "ui/control_dialog.h"

#include "ops/dcu_ctrl.h"
#include "ui/window_style.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tapster::ui {

TfrmControl::TfrmControl(QWidget* parent) : QDialog(parent) {
    setObjectName("frmControl");
    setWindowTitle("DCU Control register");
    setFont(WindowFont());
    setModal(true);

    // The boxes stand in one column inside a lowered panel.
    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(8, 4, 4, 4);
    column->setSpacing(0);
    for (size_t i = 0; i < kControlBits.size(); ++i) {
        const ControlBit& b = kControlBits[i];
        auto* box = new QCheckBox(QString::fromUtf8(b.caption), panel);
        box->setObjectName(QString::fromUtf8(b.widget));
        box->setProperty("tag", b.bit);
        column->addWidget(box);
        boxes_[i] = box;
    }

    send_ = new QPushButton("Send", this);
    send_->setObjectName("cmdSendCtrl");
    send_->setDefault(true);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("cmdCancel");
    connect(send_, &QPushButton::clicked, this, [this] { cmdSendCtrlClick(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(send_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addWidget(panel);
    layout->addLayout(buttons);

    resize(205, 348);
}

QCheckBox* TfrmControl::Box(int bit) const {
    for (size_t i = 0; i < kControlBits.size(); ++i)
        if (kControlBits[i].bit == bit) return boxes_[i];
    return nullptr;
}

void TfrmControl::LoadBoxes() {
    for (size_t i = 0; i < kControlBits.size(); ++i)
        boxes_[i]->setChecked(frmControl.BoxChecked(kControlBits[i].bit));
}

void TfrmControl::cmdSendCtrlClick() {
    for (size_t i = 0; i < kControlBits.size(); ++i)
        frmControl.SetBoxChecked(kControlBits[i].bit, boxes_[i]->isChecked());
    frmControl.cmdSendCtrlClick();
    accept();
}

bool TfrmControl::Execute() {
    LoadBoxes();
    const bool sent = exec() == QDialog::Accepted;
    if (!sent) frmControl.cmdCancelClick();
    return sent;
}

} // namespace tapster::ui
