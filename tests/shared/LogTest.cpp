#include "shared/QMASL.h"

#include "platform/foundation/Defaults.h"
#include "platform/foundation/Thread.h"
#include "platform/headless/HeadlessEnvironment.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class LogFacility : public ::testing::Test {
protected:
    void SetUp() override { qmasl::resetLevelForTesting(-1); }
    void TearDown() override { qmasl::resetLevelForTesting(-1); }

    void storeLevel(const platform::Value& level) { platform::Defaults::standard().setValue(level, "logLevel"); }

    static std::string prefix(int line) {
        return std::to_string(platform::Thread::currentNumber()) + ":LogTest.cpp:" + std::to_string(line) + " ";
    }

    platform::headless::HeadlessEnvironment env;
};

TEST_F(LogFacility, WithoutAStoredLevelOnlyLevelsUpToFourAreWrittenWithPrefix) {
    const int line3 = __LINE__ + 1;
    QMLog(3, "failure %d", 42);
    const int line4 = __LINE__ + 1;
    QMLog(4, "warning");
    QMLog(5, "notice");
    QMLog(7, "trace");
    EXPECT_EQ(env.logLines(), (std::vector<std::string>{prefix(line3) + "failure 42", prefix(line4) + "warning"}));
    EXPECT_EQ(qmasl::currentLevel(), 4);
}

TEST_F(LogFacility, LevelSixPrefixesFailuresWritesNoticesBareAndDropsTracing) {
    storeLevel(6);
    const int line = __LINE__ + 1;
    QMLog(3, "failed");
    QMLog(5, "five");
    QMLog(6, "notice");
    QMLog(7, "trace");
    EXPECT_EQ(env.logLines(), (std::vector<std::string>{prefix(line) + "failed", "five", "notice"}));
}

TEST_F(LogFacility, LevelSevenWritesEveryCallPrefixed) {
    storeLevel(7);
    int lines[8];
    for (int level = 0; level <= 7; ++level) {
        lines[level] = __LINE__ + 1;
        QMLog(level, "level %d", level);
    }
    const auto written = env.logLines();
    ASSERT_EQ(written.size(), 8u);
    for (int level = 0; level <= 7; ++level)
        EXPECT_EQ(written[level], prefix(lines[level]) + "level " + std::to_string(level));
}

TEST_F(LogFacility, LevelZeroWritesOnlyEmergencies) {
    storeLevel(0);
    const int line = __LINE__ + 1;
    QMLog(0, "emergency");
    for (int level = 1; level <= 7; ++level) QMLog(level, "dropped");
    EXPECT_EQ(env.logLines(), (std::vector<std::string>{prefix(line) + "emergency"}));
}

TEST_F(LogFacility, StoredMinusOneWritesNothingAndIsReadAgainOnEveryCall) {
    storeLevel(-1);
    QMLog(0, "nothing");
    QMLog(3, "nothing");
    EXPECT_TRUE(env.logLines().empty());
    EXPECT_EQ(qmasl::currentLevel(), -1);

    // Still unsettled, so the next call sees the new value.
    storeLevel(3);
    const int line = __LINE__ + 1;
    QMLog(3, "now");
    EXPECT_EQ(env.logLines(), (std::vector<std::string>{prefix(line) + "now"}));
    EXPECT_EQ(qmasl::currentLevel(), 3);
}

TEST_F(LogFacility, LevelIsSettledByTheFirstCall) {
    QMLog(7, "settles at the default");
    storeLevel(7);
    QMLog(7, "still dropped");
    EXPECT_TRUE(env.logLines().empty());
    EXPECT_EQ(qmasl::currentLevel(), 4);
}

TEST_F(LogFacility, StoredLevelCountsByItsLowSixteenBits) {
    storeLevel(0x10006);
    QMLog(6, "notice");
    QMLog(7, "trace");
    EXPECT_EQ(env.logLines(), (std::vector<std::string>{"notice"}));
}

TEST_F(LogFacility, PercentSignsInArgumentsAreWrittenAsTheyStand) {
    const int line = __LINE__ + 1;
    QMLog(3, "%@ then %s then %d%%", "100%d %@", std::string("%s%n"), 7);
    EXPECT_EQ(env.logLines(), (std::vector<std::string>{prefix(line) + "100%d %@ then %s%n then 7%"}));
}

TEST_F(LogFacility, BackgroundThreadsCarryTheirOwnNumber) {
    int backgroundNumber = 0;
    int line = 0;
    platform::Thread worker([&](platform::Thread&) {
        backgroundNumber = platform::Thread::currentNumber();
        line = __LINE__ + 1;
        QMLog(3, "from the worker");
    });
    worker.start();
    worker.join();
    EXPECT_NE(backgroundNumber, platform::Thread::currentNumber());
    EXPECT_EQ(env.logLines(), (std::vector<std::string>{std::to_string(backgroundNumber) +
                                                        ":LogTest.cpp:" + std::to_string(line) + " from the worker"}));
}

// Every stored level (none, then 0 to 7) against every call level: written
// when the stored level reaches the call's, prefixed at level 7 or for calls
// of level 4 and below.
TEST_F(LogFacility, EveryLevelAgainstEveryThreshold) {
    for (int stored = -1; stored <= 7; ++stored) {
        for (int level = 0; level <= 7; ++level) {
            qmasl::resetLevelForTesting(-1);
            if (stored >= 0)
                storeLevel(stored);
            else
                platform::Defaults::standard().removeObject("logLevel");
            env.clearLog();
            const int line = __LINE__ + 1;
            QMLog(level, "message");
            const int effective = stored >= 0 ? stored : 4;
            std::vector<std::string> expected;
            if (effective >= level)
                expected.push_back((effective == 7 || level <= 4 ? prefix(line) : std::string()) + "message");
            EXPECT_EQ(env.logLines(), expected) << "stored " << stored << ", call level " << level;
        }
    }
}

TEST_F(LogFacility, SettingTheLevelStoresItsLowSixteenBits) {
    qm_asl_set_log_level(0x10006);
    EXPECT_EQ(qmasl::currentLevel(), 6);
    EXPECT_EQ(platform::Defaults::standard().valueForKey("logLevel").integerValue(), 6);
    QMLog(6, "notice");
    EXPECT_EQ(env.logLines(), (std::vector<std::string>{"notice"}));
}

// The plain function a C caller reaches through the pane's exports.
extern "C" void _qm_asl_log(const char* file, std::int32_t line, std::int16_t level, const char* format, ...);

TEST_F(LogFacility, ThePlainFunctionTakesCArgumentsLikeTheTemplate) {
    _qm_asl_log("/src/Caller.m", 12, 3, "%@ has %d%% of %*ld in %.1f s, %lu left, %s%c", "pane", 50, 4, 7L, 2.25,
                static_cast<unsigned long>(3), "100%d", '!');
    _qm_asl_log("/src/Caller.m", 13, 7, "dropped %@", "text");
    EXPECT_EQ(env.logLines(), (std::vector<std::string>{std::to_string(platform::Thread::currentNumber()) +
                                                        ":Caller.m:12 pane has 50% of    7 in 2.2 s, 3 left, 100%d!"}));
}

}  // namespace
