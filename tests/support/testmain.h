// SPDX-License-Identifier: MIT
#pragma once

#include "support/unprivileged.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

// Runs a step as the unprivileged user when started as one; otherwise points the settings file and the trash
// at temporary folders before Qt reads them, then runs the tests.
#define LENTROVA_TEST_MAIN(TestClass)                                                                        \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        if (int stepExit = 0; Unprivileged::runStepIfAsked(argc, argv, &stepExit))                           \
            return stepExit;                                                                                 \
        QTemporaryDir home;                                                                                  \
        qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());                                      \
        qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());                                          \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                  \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                         \
        QApplication app(argc, argv);                                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestClass tc;                                                                                        \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
