// Saving the log (Memo4) to a file of the user's choice: from the window's menu, the log's own
// context menu and Ctrl+S. The log itself is left as it is.
#pragma once

class QAction;
class QPlainTextEdit;
class QWidget;

namespace tapster::ui {

class QtMainForm;

// The "Save log as…" action (Ctrl+S), added to `window` so the shortcut works on every page,
// and to the log's context menu beside the usual copy and select entries.
QAction* AddSaveLogAction(QWidget* window, QPlainTextEdit* log, QtMainForm& form);

// Asks for a file name and writes the whole log there, or nothing: a failure leaves an earlier
// file of that name as it was and says why in a box. Success is told in the status bar.
void SaveLogAs(QWidget* window, QPlainTextEdit* log, QtMainForm& form);

} // namespace tapster::ui
