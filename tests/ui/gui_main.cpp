// The GUI tests run in one QApplication on Qt's offscreen platform unless a display is chosen.
#include "gui_support.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    tapster::test::InstallModalWatchdog();
    return RUN_ALL_TESTS();
}
