#pragma once

#include "app/application.h"

#include <QApplication>
#include <QTest>

// Runs a GUI test under the program's own application object, so that an error
// escaping a handler reaches the application's error report as in the program.
#define KARTAX_TEST_MAIN(TestObject)                                                               \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        KartaxApplication app(argc, argv);                                                         \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject test;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

// Runs a test whose texts follow the regional settings (dates and times in history
// lines and letters) with the locale fixed to Polish, as the program's users have it.
#define KARTAX_POLISH_TEST_MAIN(TestObject)                                                        \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        qputenv("LC_ALL", "pl_PL.UTF-8");                                                          \
        qputenv("LANG", "pl_PL.UTF-8");                                                            \
        QApplication app(argc, argv);                                                              \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
