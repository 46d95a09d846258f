#include "core/main_form.h"

namespace tapster {

MainForm* frmMain = nullptr;

void Log(const std::string& line) {
    if (frmMain != nullptr) frmMain->LogLine(line);
}

} // namespace tapster
