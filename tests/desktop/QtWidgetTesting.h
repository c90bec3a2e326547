#pragma once

#include <QApplication>
#include <QElapsedTimer>

#include <chrono>
#include <functional>
#include <thread>

// The one widget application of a test process, made on first use.
inline QApplication& widgetTestApplication() {
    static int argc = 1;
    static char name[] = "widget_tests";
    static char* argv[] = {name, nullptr};
    static QApplication application(argc, argv);
    return application;
}

// The test's thread stands in for the main event loop meanwhile.
inline void processEventsFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

inline bool processEventsUntil(const std::function<bool()>& done, int milliseconds = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        if (done()) return true;
        processEventsFor(10);
    }
    return done();
}
