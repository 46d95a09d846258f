// The four pages of the main window's page control, built with the widget names the commands use.
#pragma once

class QWidget;

namespace tapster::ui {

QWidget* BuildHardwarePage(); // "Hardware Config", page shChk
QWidget* BuildFlashPage();    // "Flash Programming", page shFlash
QWidget* BuildDcuPage();      // "DCU registers", page shDcuRegs
QWidget* BuildOtherPage();    // "Other stuffs", page shOther

// Eight hex digits in an edit: the width every address field gets.
int HexFieldWidth(const QWidget* field);

} // namespace tapster::ui
