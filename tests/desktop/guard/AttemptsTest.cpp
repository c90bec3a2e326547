#include <gtest/gtest.h>

#include "platform/desktop/guard/Attempts.h"

using platform::desktop::guard::Attempts;
using namespace std::chrono_literals;

TEST(GuardAttempts, TheThirdWrongPasswordStartsTheLockScreensWait) {
    struct Case {
        std::chrono::minutes penalty;
        std::chrono::seconds wait;
    };
    for (const Case& c : {Case{1min, 66s}, Case{0min, 6s}, Case{5min, 306s}, Case{-2min, 6s}}) {
        SCOPED_TRACE(c.penalty.count());
        Attempts attempts(c.penalty);
        const Attempts::Clock::time_point start{};
        EXPECT_FALSE(attempts.wrong(start));
        EXPECT_FALSE(attempts.wrong(start + 1s));
        EXPECT_FALSE(attempts.waiting());
        EXPECT_TRUE(attempts.wrong(start + 2s));
        EXPECT_TRUE(attempts.waiting());
        EXPECT_EQ(attempts.secondsLeft(start + 2s), c.wait.count());
        // Nothing typed during the wait shortens it or counts towards the next.
        EXPECT_FALSE(attempts.endWaitIfOver(start + 2s + c.wait - 1ms));
        EXPECT_FALSE(attempts.wrong(start + 3s));
        EXPECT_TRUE(attempts.endWaitIfOver(start + 2s + c.wait));
        EXPECT_FALSE(attempts.waiting());
        EXPECT_EQ(attempts.left(), Attempts::kAllowed);
        EXPECT_EQ(attempts.total(), 4);
        EXPECT_FALSE(attempts.wrong(start + 2s + c.wait));
    }
}
