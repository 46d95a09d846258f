#include "ui/qt_main_form.h"

#include "core/widget_table.h"

#include "ui/control_dialog.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tapster::ui {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string S(const QString& s) {
    return s.toStdString();
}

// A radio group is a group box that owns a button group.
QButtonGroup* RadioGroup(QObject* o) {
    auto* box = qobject_cast<QGroupBox*>(o);
    return box ? box->findChild<QButtonGroup*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// The buddy edit of an up-down is the spin box's own edit field.
QSpinBox* SpinOfEdit(QObject* o) {
    auto* edit = qobject_cast<QLineEdit*>(o);
    return edit ? qobject_cast<QSpinBox*>(edit->parent()) : nullptr;
}

// A list box's position is its selected item, not the keyboard focus item, so that a list the
// user never clicked has no position.
int SelectedRow(QListWidget* list) {
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

} // namespace

QtMainForm::QtMainForm(QWidget* window) : window_(window) {}

void QtMainForm::ShowStatus(const std::string& text) {
    // The status bar's message label sits beside the port's name (see the main window).
    if (auto* label = window_->findChild<QLabel*>("lblStatus"))
        label->setText(QString::fromStdString(text));
}

void QtMainForm::SetToolTip(std::string_view name, const std::string& text) {
    if (QWidget* widget = Widget(name)) widget->setToolTip(QString::fromStdString(text));
}

QObject* QtMainForm::Find(std::string_view name) {
    const QString key = Q(name);
    auto it = cache_.find(key);
    if (it != cache_.end() && !it.value().isNull()) return it.value().data();
    QObject* o = window_->objectName() == key ? window_ : window_->findChild<QObject*>(key);
    if (o == nullptr) {
        std::fprintf(stderr, "internal error: no widget named '%.*s'\n",
                     static_cast<int>(name.size()), name.data());
        std::abort();
    }
    cache_.insert(key, o);
    return o;
}

QWidget* QtMainForm::Widget(std::string_view name) {
    auto* w = qobject_cast<QWidget*>(Find(name));
    if (w == nullptr) {
        std::fprintf(stderr, "internal error: '%.*s' is not a widget\n",
                     static_cast<int>(name.size()), name.data());
        std::abort();
    }
    return w;
}

std::string QtMainForm::Text(std::string_view name) {
    QObject* o = Find(name);
    if (auto* w = qobject_cast<QLineEdit*>(o)) return S(w->text());
    if (auto* w = qobject_cast<QComboBox*>(o)) return S(w->currentText());
    if (auto* w = qobject_cast<QLabel*>(o)) return S(w->text());
    if (auto* w = qobject_cast<QAbstractButton*>(o)) return S(w->text());
    if (auto* w = qobject_cast<QGroupBox*>(o)) return S(w->title());
    if (auto* w = qobject_cast<QAbstractSpinBox*>(o)) return S(w->text());
    if (auto* w = qobject_cast<QPlainTextEdit*>(o)) return S(w->toPlainText());
    return {};
}

void QtMainForm::SetText(std::string_view name, const std::string& text) {
    QObject* o = Find(name);
    if (QSpinBox* spin = SpinOfEdit(o)) {
        // Writing the buddy edit moves the up-down, as the position is what the edit shows.
        bool ok = false;
        const int value = Q(text).trimmed().toInt(&ok);
        if (ok) spin->setValue(value);
        return;
    }
    if (auto* w = qobject_cast<QLineEdit*>(o)) return w->setText(Q(text));
    if (auto* w = qobject_cast<QComboBox*>(o)) return w->setEditText(Q(text));
    if (auto* w = qobject_cast<QLabel*>(o)) return w->setText(Q(text));
    if (auto* w = qobject_cast<QAbstractButton*>(o)) return w->setText(Q(text));
    if (auto* w = qobject_cast<QGroupBox*>(o)) return w->setTitle(Q(text));
    if (auto* w = qobject_cast<QPlainTextEdit*>(o)) return w->setPlainText(Q(text));
}

bool QtMainForm::Checked(std::string_view name) {
    auto* w = qobject_cast<QAbstractButton*>(Find(name));
    return w != nullptr && w->isChecked();
}

void QtMainForm::SetChecked(std::string_view name, bool checked) {
    if (auto* w = qobject_cast<QAbstractButton*>(Find(name))) w->setChecked(checked);
}

int QtMainForm::Position(std::string_view name) {
    QObject* o = Find(name);
    if (auto* w = qobject_cast<QAbstractSlider*>(o)) return w->value();
    if (auto* w = qobject_cast<QSpinBox*>(o)) return w->value();
    if (auto* w = qobject_cast<QProgressBar*>(o)) return w->value();
    if (auto* w = qobject_cast<QComboBox*>(o)) return w->currentIndex();
    if (auto* w = qobject_cast<QListWidget*>(o)) return SelectedRow(w);
    if (auto* w = qobject_cast<QTabWidget*>(o)) return w->currentIndex();
    if (QButtonGroup* g = RadioGroup(o)) return g->checkedId();
    return 0;
}

void QtMainForm::SetPosition(std::string_view name, int position) {
    QObject* o = Find(name);
    if (auto* w = qobject_cast<QAbstractSlider*>(o)) return w->setValue(position);
    if (auto* w = qobject_cast<QSpinBox*>(o)) return w->setValue(position);
    if (auto* w = qobject_cast<QProgressBar*>(o)) {
        // The bar ignores values outside its range; a progress past the end shows as full.
        return w->setValue(std::clamp(position, w->minimum(), w->maximum()));
    }
    if (auto* w = qobject_cast<QComboBox*>(o)) {
        if (position < -1 || position >= w->count()) position = -1;
        return w->setCurrentIndex(position);
    }
    if (auto* w = qobject_cast<QListWidget*>(o)) {
        if (position < 0 || position >= w->count()) {
            w->clearSelection();
            return w->setCurrentRow(-1);
        }
        return w->setCurrentRow(position, QItemSelectionModel::ClearAndSelect);
    }
    if (auto* w = qobject_cast<QTabWidget*>(o)) return w->setCurrentIndex(position);
    if (QButtonGroup* g = RadioGroup(o)) {
        if (QAbstractButton* b = g->button(position)) return b->setChecked(true);
        // No item selected: the group must let go of its exclusive check for a moment.
        g->setExclusive(false);
        for (QAbstractButton* b : g->buttons())
            b->setChecked(false);
        g->setExclusive(true);
    }
}

int QtMainForm::Minimum(std::string_view name) {
    QObject* o = Find(name);
    if (auto* w = qobject_cast<QAbstractSlider*>(o)) return w->minimum();
    if (auto* w = qobject_cast<QSpinBox*>(o)) return w->minimum();
    if (auto* w = qobject_cast<QProgressBar*>(o)) return w->minimum();
    return 0;
}

int QtMainForm::Maximum(std::string_view name) {
    QObject* o = Find(name);
    if (auto* w = qobject_cast<QAbstractSlider*>(o)) return w->maximum();
    if (auto* w = qobject_cast<QSpinBox*>(o)) return w->maximum();
    if (auto* w = qobject_cast<QProgressBar*>(o)) return w->maximum();
    return 0;
}

void QtMainForm::SetRange(std::string_view name, int minimum, int maximum) {
    QObject* o = Find(name);
    if (auto* w = qobject_cast<QAbstractSlider*>(o)) return w->setRange(minimum, maximum);
    if (auto* w = qobject_cast<QSpinBox*>(o)) return w->setRange(minimum, maximum);
    if (auto* w = qobject_cast<QProgressBar*>(o)) return w->setRange(minimum, maximum);
}

int QtMainForm::TickInterval(std::string_view name) {
    QObject* o = Find(name);
    if (auto* w = qobject_cast<QSlider*>(o)) return w->tickInterval();
    if (auto* w = qobject_cast<QSpinBox*>(o)) return w->singleStep();
    return 0;
}

void QtMainForm::SetTickInterval(std::string_view name, int interval) {
    QObject* o = Find(name);
    if (auto* w = qobject_cast<QSlider*>(o)) return w->setTickInterval(interval);
    if (auto* w = qobject_cast<QSpinBox*>(o)) return w->setSingleStep(interval);
}

std::vector<std::string> QtMainForm::Items(std::string_view name) {
    QObject* o = Find(name);
    std::vector<std::string> items;
    if (auto* w = qobject_cast<QComboBox*>(o)) {
        for (int i = 0; i < w->count(); ++i)
            items.push_back(S(w->itemText(i)));
    } else if (auto* w = qobject_cast<QListWidget*>(o)) {
        for (int i = 0; i < w->count(); ++i)
            items.push_back(S(w->item(i)->text()));
    } else if (QButtonGroup* g = RadioGroup(o)) {
        for (int i = 0; g->button(i) != nullptr; ++i)
            items.push_back(S(g->button(i)->text()));
    }
    return items;
}

void QtMainForm::AddItem(std::string_view name, const std::string& text) {
    QObject* o = Find(name);
    if (auto* w = qobject_cast<QComboBox*>(o)) {
        // Adding an item leaves the edit text alone, even when the list was empty.
        const QString shown = w->currentText();
        w->addItem(Q(text));
        if (w->isEditable() && w->currentText() != shown) w->setEditText(shown);
    } else if (auto* w = qobject_cast<QListWidget*>(o)) {
        w->addItem(Q(text));
    }
}

void QtMainForm::SetItem(std::string_view name, int index, const std::string& text) {
    QObject* o = Find(name);
    if (auto* w = qobject_cast<QComboBox*>(o)) {
        if (index >= 0 && index < w->count()) w->setItemText(index, Q(text));
    } else if (auto* w = qobject_cast<QListWidget*>(o)) {
        if (index >= 0 && index < w->count()) w->item(index)->setText(Q(text));
    }
}

void QtMainForm::DeleteItem(std::string_view name, int index) {
    QObject* o = Find(name);
    if (auto* w = qobject_cast<QComboBox*>(o)) {
        if (index >= 0 && index < w->count()) w->removeItem(index);
    } else if (auto* w = qobject_cast<QListWidget*>(o)) {
        if (index < 0 || index >= w->count()) return;
        delete w->takeItem(index);
        // Like a list box: the selection goes away with the deleted item.
        w->clearSelection();
        w->setCurrentRow(-1);
    }
}

namespace {

// The page control that holds `page` as one of its pages, or nullptr.
QTabWidget* PageControlOf(QWidget* page, int& index) {
    QWidget* stack = page->parentWidget();
    auto* pages = stack != nullptr ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    index = pages != nullptr ? pages->indexOf(page) : -1;
    return index >= 0 ? pages : nullptr;
}

} // namespace

// A widget's own visibility: whether it was hidden, not whether its window is on the screen. A
// page is visible while its tab is, whichever page is in front.
bool QtMainForm::Visible(std::string_view name) {
    QWidget* w = Widget(name);
    int index = -1;
    if (QTabWidget* pages = PageControlOf(w, index)) return pages->isTabVisible(index);
    return !w->isHidden();
}

void QtMainForm::SetVisible(std::string_view name, bool visible) {
    QWidget* w = Widget(name);
    int index = -1;
    if (QTabWidget* pages = PageControlOf(w, index)) return pages->setTabVisible(index, visible);
    w->setVisible(visible);
}

// A widget's own enabled state; a widget inside a disabled container keeps its own.
bool QtMainForm::Enabled(std::string_view name) {
    return !Widget(name)->testAttribute(Qt::WA_ForceDisabled);
}
void QtMainForm::SetEnabled(std::string_view name, bool enabled) {
    Widget(name)->setEnabled(enabled);
}

void QtMainForm::Repaint(std::string_view name) {
    Widget(name)->repaint();
}

QPlainTextEdit* QtMainForm::Log() {
    auto* memo = qobject_cast<QPlainTextEdit*>(Find(w::Memo4));
    if (memo == nullptr) std::abort();
    return memo;
}

void QtMainForm::LogLine(const std::string& line) {
    QPlainTextEdit* memo = Log();
    QTextDocument* doc = memo->document();
    if (logLines_ > 0 && doc->isEmpty()) {
        // The log holds only empty lines so far, which appendPlainText would fill instead of
        // appending after them.
        QTextCursor cursor(doc);
        cursor.movePosition(QTextCursor::End);
        cursor.insertBlock();
        cursor.insertText(Q(line));
    } else {
        memo->appendPlainText(Q(line));
    }
    ++logLines_;
}

std::string QtMainForm::LastLogLine() {
    if (logLines_ == 0) return {};
    return S(Log()->document()->lastBlock().text());
}

void QtMainForm::ReplaceLastLogLine(const std::string& line) {
    if (logLines_ == 0) return LogLine(line);
    QTextDocument* doc = Log()->document();
    const QString text = Q(line);
    const QTextBlock last = doc->lastBlock();
    const QString old = last.text();
    QTextCursor cursor(last);
    cursor.movePosition(QTextCursor::EndOfBlock);
    if (text.startsWith(old)) {
        // The agent wait grows its line one dot at a time: add only the new tail, so a line of
        // thousands of dots costs no more than the dots.
        cursor.insertText(text.mid(old.size()));
    } else {
        cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(text);
    }
}

void QtMainForm::ErrorBox(const std::string& text) {
    ErrorBoxWithDetail(text, std::nullopt);
}

void QtMainForm::ErrorBoxWithDetail(const std::string& text,
                                    const std::optional<std::string>& detail) {
    QMessageBox box(QMessageBox::Critical, "Tapster", Q(text), QMessageBox::Ok, window_);
    // The box keeps its fixed text; why (the device, the lp group, the permission driver) goes
    // underneath, since the log must stay untouched.
    if (detail) box.setInformativeText(Q(*detail));
    box.exec();
}

bool QtMainForm::WarningQuestion(const std::string& text) {
    return QMessageBox::warning(window_, "Tapster", Q(text), QMessageBox::Ok | QMessageBox::Cancel,
                                QMessageBox::Ok) == QMessageBox::Ok;
}

bool QtMainForm::YesNoQuestion(const std::string& text) {
    return QMessageBox::question(window_, "Tapster", Q(text), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

QFileDialog* QtMainForm::OpenDialog() {
    if (openDialog_.isNull()) {
        // Made on first use: the dialog's file system model is not needed before that. It is
        // kept, so it remembers the folder the user went to.
        openDialog_ = new QFileDialog(window_, "Open");
        openDialog_->setObjectName("OpenDialog1");
        openDialog_->setAcceptMode(QFileDialog::AcceptOpen);
        // "Read to File" names a file that does not exist yet.
        openDialog_->setFileMode(QFileDialog::AnyFile);
        openDialog_->setOption(QFileDialog::DontConfirmOverwrite);
        openDialog_->setNameFilter("All files (*)");
    }
    return openDialog_;
}

bool QtMainForm::ChooseFile(std::string& path) {
    QFileDialog* dialog = OpenDialog();
    if (dialog->exec() != QDialog::Accepted) return false;
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return false;
    path = QFile::encodeName(files.first()).toStdString();
    return true;
}

bool QtMainForm::ShowControlDialog() {
    return dialog_ != nullptr && dialog_->Execute();
}

void QtMainForm::ProcessEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtMainForm::HandleOneEvent() {
    // Qt has no "one message" call; a one-millisecond budget is the nearest.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

QTimer* QtMainForm::Timer() {
    auto* timer = qobject_cast<QTimer*>(Find("Timer1"));
    if (timer == nullptr) std::abort();
    return timer;
}

bool QtMainForm::TimerEnabled() {
    return Timer()->isActive();
}

void QtMainForm::SetTimerEnabled(bool enabled) {
    QTimer* timer = Timer();
    if (enabled == timer->isActive()) return; // enabling a running timer does not restart it
    if (enabled)
        timer->start();
    else
        timer->stop();
}

int QtMainForm::TimerInterval() {
    return Timer()->interval();
}
void QtMainForm::SetTimerInterval(int ms) {
    Timer()->setInterval(ms);
}

} // namespace tapster::ui
