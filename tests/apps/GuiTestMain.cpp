// GoogleTest main for the window tests: a headless QApplication whose event
// loop runs the detectors' Synchronize calls.
#include "qt/QtSynchronize.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication App(argc, argv);
    TQtSynchronize::Install();
    ::testing::InitGoogleTest(&argc, argv);
    int Result = RUN_ALL_TESTS();
    TQtSynchronize::Uninstall();
    return Result;
}
