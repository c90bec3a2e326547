#pragma once

#include <QCoreApplication>

// The one Qt application object of the test process, made on first use.
inline QCoreApplication& qtTestApplication() {
    static int argc = 1;
    static char name[] = "desktop_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return application;
}
