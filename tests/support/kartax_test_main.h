#pragma once

#include "app/application.h"

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
