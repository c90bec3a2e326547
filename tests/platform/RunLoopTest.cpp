#include "platform/foundation/Clock.h"
#include "platform/foundation/QueueRunLoop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform;

namespace {

class RunLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::install(&clock);
        RunLoop::install(&loop);
    }
    void TearDown() override {
        RunLoop::install(nullptr);
        Clock::install(nullptr);
    }
    ManualClock clock;
    QueueRunLoop loop;
};

TEST_F(RunLoopTest, TimersFireInTimeOrderUnderTheManualClock) {
    std::vector<int> order;
    std::vector<double> times;
    const double start = clock.now();
    loop.scheduleTimer(30, false, [&](Timer&) {
        order.push_back(3);
        times.push_back(clock.now() - start);
    });
    loop.scheduleTimer(10, false, [&](Timer&) {
        order.push_back(1);
        times.push_back(clock.now() - start);
    });
    loop.scheduleTimer(20, false, [&](Timer&) {
        order.push_back(2);
        times.push_back(clock.now() - start);
    });
    loop.runFor(66);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(times, (std::vector<double>{10, 20, 30}));
    EXPECT_DOUBLE_EQ(clock.now() - start, 66);
}

TEST_F(RunLoopTest, InvalidatedTimersNeverFire) {
    int fired = 0;
    auto timer = loop.scheduleTimer(5, false, [&](Timer&) { ++fired; });
    timer->invalidate();
    EXPECT_FALSE(timer->isValid());
    loop.runFor(10);
    EXPECT_EQ(fired, 0);
}

TEST_F(RunLoopTest, RepeatingTimerFiresEveryIntervalUntilInvalidated) {
    int fired = 0;
    auto timer = loop.scheduleTimer(6, true, [&](Timer& t) {
        if (++fired == 3) t.invalidate();
    });
    loop.runFor(60);
    EXPECT_EQ(fired, 3);
}

TEST_F(RunLoopTest, OneShotTimerIsSpentWhenItsActionRuns) {
    bool validInside = true;
    auto timer = loop.scheduleTimer(1, false, [&](Timer& t) { validInside = t.isValid(); });
    loop.runFor(2);
    EXPECT_FALSE(validInside);
    EXPECT_FALSE(timer->isValid());
}

TEST_F(RunLoopTest, PerformOnMainThreadWithWaitingFromAnotherThread) {
    std::thread::id ranOn;
    bool returned = false;
    std::thread worker([&] {
        loop.performOnMainThread([&] { ranOn = std::this_thread::get_id(); }, true);
        returned = true;
    });
    ASSERT_TRUE(loop.runUntil([&] { return ranOn != std::thread::id(); }));
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(RunLoopTest, PerformsFromAnotherThreadRunInArrivalOrder) {
    std::vector<int> order;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) loop.performOnMainThread([&order, i] { order.push_back(i); }, false);
    });
    worker.join();
    loop.runFor(0);
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
}

}  // namespace
