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

// Killing the application buys no fresh guesses: the guard goes on from the
// lock screen's count and its wait.
TEST(GuardAttempts, TheCountGoesOnFromTheLockScreen) {
    const Attempts::Clock::time_point now{std::chrono::hours(1)};
    struct Case {
        const char* what;
        int wrong;
        std::optional<Attempts::Clock::time_point> waitEnds;
        bool waiting;
        int left;
    };
    for (const Case& c :
         {Case{"none yet", 0, std::nullopt, false, 3}, Case{"two wrong", 2, std::nullopt, false, 1},
          Case{"a wait running", 3, now + 20s, true, 0}, Case{"a wait just over", 3, now - 1s, false, 3}}) {
        SCOPED_TRACE(c.what);
        Attempts attempts(1min);
        attempts.carryOn(c.wrong, c.waitEnds, now);
        EXPECT_EQ(attempts.waiting(), c.waiting);
        EXPECT_EQ(attempts.left(), c.left);
        EXPECT_EQ(attempts.total(), c.wrong);
        EXPECT_EQ(attempts.secondsLeft(now), c.waiting ? 20 : 0);
    }
    Attempts afterTwo(0min);
    afterTwo.carryOn(2, std::nullopt, now);
    EXPECT_TRUE(afterTwo.wrong(now)) << "the third wrong password, the first typed to the guard, starts the wait";
}
