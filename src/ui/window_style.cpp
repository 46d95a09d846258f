#include "ui/window_style.h"

namespace tapster::ui {

QFont WindowFont() {
    QFont font("MS Sans Serif", 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont FixedFont() {
    QFont font("Courier New", 9);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

} // namespace tapster::ui
