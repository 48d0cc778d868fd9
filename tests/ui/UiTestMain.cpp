// The windows need one QApplication for the whole run; the tests run offscreen, with the filters
// the program's application object installs.
#include <QApplication>

#include <gtest/gtest.h>

#include "ui/QVApplication.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QVApplication::InstallWindowFilters(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
