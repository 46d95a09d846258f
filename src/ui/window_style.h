// Fonts and colours shared by the main window and the control dialog.
#pragma once

#include <QColor>
#include <QFont>

namespace tapster::ui {

// The window's default font: MS Sans Serif 8 pt, or the nearest sans-serif face there is.
QFont WindowFont();
// The fixed-pitch face of the monitor edits and the address label (Courier New).
QFont FixedFont();

inline const QColor kNavy{0x00, 0x00, 0x80};
inline const QColor kMonitorGrey{0xC0, 0xC0, 0xC0};

} // namespace tapster::ui
