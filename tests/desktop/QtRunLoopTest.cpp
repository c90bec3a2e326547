#include <gtest/gtest.h>

#include "QtTestApplication.h"
#include "desktop/X11TestClients.h"

#include "platform/desktop/qt/QtRunLoop.h"

#include <limits>

using platform::desktop::QtRunLoop;

// Intervals come from the settings, where any number can be stored: one
// longer than Qt's millisecond count must wait as long as it can, never
// overflow into a timer that fires at once.
TEST(QtRunLoop, IntervalsBeyondQtsMillisecondCountNeverFireAtOnce) {
    qtTestApplication();
    QtRunLoop loop;
    int fired = 0;
    std::vector<platform::TimerRef> timers;
    for (double seconds : {9.2e18, 1e308, std::numeric_limits<double>::infinity(), 2147484.0})
        timers.push_back(loop.scheduleTimer(seconds, false, [&fired](platform::Timer&) { ++fired; }));
    processEventsFor(50);
    EXPECT_EQ(fired, 0);
    for (const auto& timer : timers) timer->invalidate();
}
