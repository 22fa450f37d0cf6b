// Runs the tests inside a QApplication (offscreen platform), with the scripted dialog seam installed.
#include "tests/support/scriptedservices.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                     : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    TScriptedServices services;
    SetServices(&services);
    const int result = RUN_ALL_TESTS();
    SetServices(nullptr);
    return result;
}
