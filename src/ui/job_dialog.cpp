#include "ui/job_dialog.h"

#include "core/widget_table.h"
#include "ops/commands.h"
#include "ops/services.h"
#include "ui/main_window.h"
#include "ui/window_style.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <optional>

namespace tapster::ui {

namespace {

// The erase modes in the order of the erase box's items.
// clang-format off
constexpr struct {
    EraseMode mode;
    const char* caption;
} kEraseItems[] = {
    {.mode = EraseMode::Auto, .caption = "Only the sectors the image covers"},
    {.mode = EraseMode::Chip, .caption = "The whole chip"},
    {.mode = EraseMode::None, .caption = "Nothing (the flash is blank)"},
};
// clang-format on

// An address: hex digits, with or without "0x".
std::optional<uint32_t> Address(const QString& text) {
    QString digits = text.trimmed();
    if (digits.startsWith("0x", Qt::CaseInsensitive)) digits = digits.mid(2);
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, 16);
    if (!ok || value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<uint32_t>(value);
}

QString Hex8(uint32_t value) {
    return QString("%1").arg(value, 8, 16, QChar('0')).toUpper();
}

} // namespace

JobDialog::JobDialog(TfrmMain& window) : QDialog(&window), window_(window) {
    setObjectName("frmJob");
    setWindowTitle("Program and verify");
    setFont(WindowFont());
    setModal(true);

    image_ = new QLineEdit;
    image_->setObjectName("txtJobImage");
    image_->setMinimumWidth(280);
    browse_ = new QPushButton("Browse\u2026");
    browse_->setObjectName("cmdJobBrowse");
    connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
    auto* imageRow = new QHBoxLayout;
    imageRow->addWidget(image_, 1);
    imageRow->addWidget(browse_);

    // The flash start address as on the page "Flash Programming".
    base_ = new QComboBox;
    base_->setObjectName("lstJobBase");
    base_->setEditable(true);
    for (std::string_view item : widget_items::kFlashBase)
        base_->addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
    base_->setEditText(QString::fromStdString(window.Form().Text(w::lstFlashBase)));
    at_ = new QLineEdit;
    at_->setObjectName("txtJobAt");
    at_->setPlaceholderText("the flash start address");
    erase_ = new QComboBox;
    erase_->setObjectName("lstJobErase");
    for (const auto& item : kEraseItems)
        erase_->addItem(item.caption);
    verify_ = new QCheckBox("Read back and compare with the file");
    verify_->setObjectName("chkJobVerify");
    verify_->setChecked(true);

    auto* fields = new QFormLayout;
    fields->addRow("Image file", imageRow);
    fields->addRow("Flash start address", base_);
    fields->addRow("Program at", at_);
    fields->addRow("Erase", erase_);
    fields->addRow("", verify_);

    chip_ = new QLabel;
    chip_->setObjectName("lblJobChip");
    phase_ = new QLabel("Ready.");
    phase_->setObjectName("lblJobPhase");
    bar_ = new QProgressBar;
    bar_->setObjectName("pbJob");
    bar_->setRange(0, 100);
    bar_->setValue(0);

    start_ = new QPushButton("Start");
    start_->setObjectName("cmdJobStart");
    start_->setDefault(true);
    abort_ = new QPushButton("Abort !");
    abort_->setObjectName("cmdJobAbort");
    abort_->setEnabled(false);
    close_ = new QPushButton("Close");
    close_->setObjectName("cmdJobClose");
    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    // As the page's "Abort !": the same question, the same flags.
    connect(abort_, &QPushButton::clicked, this, [this] { window_.RunCommand(&cmdCancelClick); });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(start_);
    buttons->addWidget(abort_);
    buttons->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(chip_);
    layout->addWidget(phase_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
}

bool JobDialog::ReadRequest(FlashJobRequest& request, QString& error) {
    request = FlashJobRequest{};
    request.kind = FlashJobKind::Program;
    const QString image = image_->text().trimmed();
    const std::optional<uint32_t> base = Address(base_->currentText());
    const std::optional<uint32_t> at =
        at_->text().trimmed().isEmpty() ? base : Address(at_->text());
    const std::optional<uint32_t> trap =
        Address(QString::fromStdString(window_.Form().Text(w::lstTrapAddr)));
    if (image.isEmpty()) {
        error = "Choose the image file to program.";
    } else if (!base || *base == 0) {
        error = "The flash start address must be a hex address (7FE00000 or 0x7FE00000).";
    } else if (!at || *at < *base) {
        error = "The address to program at must be a hex address at or above the flash start.";
    } else if (!trap) {
        error = "The trap routine address (page Hardware Config) must be a hex address.";
    } else {
        request.imagePath = QFile::encodeName(image).toStdString();
        request.flashBase = *base;
        request.at = *at;
        request.erase = kEraseItems[erase_->currentIndex()].mode;
        request.verify = verify_->isChecked();
        request.trapAddress = *trap;
        // The agent images where tapcheck-cli looks for them.
        request.agentFolders =
            AgentFolders(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString(),
                         StartDirectory);
        return true;
    }
    return false;
}

QString JobDialog::ProgressText(FlashJobPhase phase, uint32_t done, uint32_t total, qint64 ms) {
    QString text = PhaseName(phase);
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    if (total == 0) return text + "\u2026";
    text += QString(": %1 %").arg(static_cast<uint64_t>(done) * 100 / total);
    const std::optional<PhaseRate> rate = RateOfPhase(done, total, static_cast<double>(ms) / 1000);
    if (!rate) return text;
    const auto left = static_cast<int64_t>(rate->secondsLeft + 0.5);
    text += QString(" at %1 KiB/s, ").arg(static_cast<int64_t>(rate->kibPerSecond + 0.5));
    text +=
        left < 120 ? QString("%1 s left").arg(left) : QString("%1 min left").arg((left + 59) / 60);
    return text;
}

void JobDialog::reject() {
    if (running_) return; // the job ends by itself or by "Abort !"
    QDialog::reject();
}

void JobDialog::Browse() {
    std::string path;
    if (window_.Form().ChooseFile(path)) image_->setText(QFile::decodeName(path.c_str()));
}

void JobDialog::Start() {
    FlashJobRequest request;
    QString error;
    if (!ReadRequest(request, error)) {
        QMessageBox::critical(this, windowTitle(), error);
        return;
    }
    if (window_.CommandRunning()) {
        QApplication::beep();
        return;
    }
    const QString question =
        QString("The flash at %1 will be erased as chosen and programmed from\n%2\nContinue ?")
            .arg(Hex8(request.at), image_->text().trimmed());
    if (QMessageBox::warning(this, windowTitle(), question, QMessageBox::Ok | QMessageBox::Cancel,
                             QMessageBox::Ok) != QMessageBox::Ok)
        return;

    SetRunning(true);
    FlashJobOutcome outcome;
    window_.RunCommand([&] {
        outcome = RunFlashJob(request, [this](const FlashJobProgress& p) { ShowProgress(p); });
    });
    SetRunning(false);
    ShowVerdict(outcome);
}

void JobDialog::ShowProgress(const FlashJobProgress& progress) {
    if (progress.phase != shownPhase_ || !phaseClock_.isValid()) {
        shownPhase_ = progress.phase;
        phaseClock_.start();
    }
    // A phase with no size shows a busy bar.
    bar_->setRange(0, progress.total == 0 ? 0 : 1000);
    if (progress.total != 0)
        bar_->setValue(
            static_cast<int>(static_cast<uint64_t>(progress.done) * 1000 / progress.total));
    phase_->setText(
        ProgressText(progress.phase, progress.done, progress.total, phaseClock_.elapsed()));
    phase_->repaint();
    bar_->repaint();
}

void JobDialog::ShowVerdict(const FlashJobOutcome& outcome) {
    chip_->setText(QString::fromStdString(outcome.chipLine));
    phase_->setText(QString::fromStdString(outcome.verdict));
    bar_->setRange(0, 1000);
    bar_->setValue(outcome.ok ? 1000 : 0);
    QMessageBox box(outcome.ok ? QMessageBox::Information : QMessageBox::Critical, windowTitle(),
                    QString::fromStdString(outcome.verdict), QMessageBox::Ok, this);
    box.setObjectName("JobVerdict");
    if (!outcome.chipLine.empty()) box.setInformativeText(QString::fromStdString(outcome.chipLine));
    box.exec();
}

void JobDialog::SetRunning(bool running) {
    running_ = running;
    phaseClock_.invalidate();
    start_->setEnabled(!running);
    close_->setEnabled(!running);
    abort_->setEnabled(running);
    for (QWidget* field :
         {static_cast<QWidget*>(image_), static_cast<QWidget*>(base_), static_cast<QWidget*>(at_),
          static_cast<QWidget*>(erase_), static_cast<QWidget*>(verify_)})
        field->setEnabled(!running);
    if (running) {
        chip_->clear();
        phase_->setText("Starting\u2026");
        bar_->setValue(0);
    }
}

} // namespace tapster::ui
