#include "AppTestFixture.h"

#include "platform/services/AttemptsRecord.h"

#include <cctype>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

namespace apptest {
namespace {

// A locked, active lock screen with the prompt shown.
class PasswordTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        launch();
        lockAndSettle();
        wakeLockScreen();
        ASSERT_EQ(app->dimState(), DimState::Active);
        events.clear();
    }
    void tick(int seconds) {
        for (int i = 0; i < seconds; ++i) env.advance(1.0);
    }
};

TEST_F(PasswordTest, ActivationShowsThePrompt) {
    EXPECT_FALSE(app->lockPasswordField().isHidden());
    EXPECT_EQ(app->lockInfoText().stringValue(), "Please enter your password.");
    EXPECT_DOUBLE_EQ(app->lockImageView().alphaValue(), 0.4);
    EXPECT_EQ(app->lockWindow()->backgroundColor(), platform::Color::white());
    EXPECT_TRUE(app->timer(LockTimer::Dim) && app->timer(LockTimer::Dim)->isValid());
    EXPECT_TRUE(app->timer(LockTimer::InputLimit) && app->timer(LockTimer::InputLimit)->isValid());
}

TEST_F(PasswordTest, TypingShowsTheAttemptsLeft) {
    type("a");
    EXPECT_EQ(fieldText(), "a");
    EXPECT_EQ(imageName(), "three.png");
    enter("wrong");
    EXPECT_EQ(imageName(), "two.png");
    type("b");
    EXPECT_EQ(imageName(), "two.png");
    enter("wrong");
    EXPECT_EQ(imageName(), "one.png");
    EXPECT_EQ(app->lockInfoText().stringValue(), "Wrong password. Try again.");
    EXPECT_EQ(fieldText(), "");
}

TEST_F(PasswordTest, RightPasswordUnlocks) {
    enter(kPassword);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_EQ(eventNames(), std::vector<std::string>{kScreenUnlockedEvent});
}

TEST_F(PasswordTest, KeypadEnterChecksAsReturnDoes) {
    type(kPassword);
    press(platform::keycode::KeypadEnter, "\x03");
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
}

TEST_F(PasswordTest, WrongPasswordEventCarriesTheTypedText) {
    enter("hunter2");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, kWrongPasswordEvent);
    EXPECT_EQ(events[0].userInfo.size(), 3u);
    EXPECT_EQ(events[0].userInfo.at("eventName"), platform::Value(kWrongPasswordEvent));
    EXPECT_EQ(events[0].userInfo.at("password"), platform::Value("hunter2"));
    EXPECT_TRUE(events[0].userInfo.at("timestamp").isDate());
    EXPECT_EQ(app->getRetriesLeft(), 2);
}

TEST_F(PasswordTest, ThirdWrongPasswordPostsOnlyTheThreeWrongEvent) {
    enter("one");
    enter("two");
    enter("three");
    EXPECT_EQ(eventNames(),
              (std::vector<std::string>{kWrongPasswordEvent, kWrongPasswordEvent, kThreeWrongPasswordEvent}));
    EXPECT_EQ(events[2].userInfo.at("password"), platform::Value("three"));
}

TEST_F(PasswordTest, WithThreeWrongSwitchedOffTheThirdIsAnOrdinaryWrongPassword) {
    set(kPrefThreeWrongPassword, false);
    enter("one");
    enter("two");
    enter("three");
    EXPECT_EQ(eventNames(), (std::vector<std::string>{kWrongPasswordEvent, kWrongPasswordEvent, kWrongPasswordEvent}));
}

TEST_F(PasswordTest, ReturnOnAnEmptyFieldCountsAsAWrongAttempt) {
    press(platform::keycode::Return, "\r");
    EXPECT_EQ(app->getRetriesLeft(), 2);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].userInfo.at("password"), platform::Value(""));
}

TEST_F(PasswordTest, UnconfiguredOrNonTextDigestNeverMatches) {
    set(kPrefPassword, 42);
    enter(kPassword);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    set(kPrefPassword, "");
    press(platform::keycode::Return, "\r");
    EXPECT_EQ(app->lockState(), LockState::Locked);
}

TEST_F(PasswordTest, APasswordWrittenWhileLockedCountsOnlyFromTheNextLock) {
    writtenByAnotherProgram({{kPrefPassword, digestOf("attacker")}});
    enter("attacker");
    EXPECT_EQ(app->lockState(), LockState::Locked) << "the lock goes by the password stored when it began";
    enter(kPassword);
    ASSERT_EQ(app->lockState(), LockState::Unlocked);

    env.advance(2);
    lockAndSettle();
    wakeLockScreen();
    enter("attacker");
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "once unlocked, the stored password is read again";
}

TEST_F(PasswordTest, AnUppercaseDigestUnlocksWithItsPassword) {
    std::string digest = digestOf(kPassword);
    for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    set(kPrefPassword, digest);
    enter(kPassword);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
}

TEST_F(PasswordTest, TypingStopsAtTheLengthCap) {
    type(std::string(1100, 'x'));
    EXPECT_EQ(fieldText().size(), 1024u);
}

TEST_F(PasswordTest, InputPausesThatAreNoDurationReadAsTheDefault) {
    for (const platform::Value& pause :
         {platform::Value(-5), platform::Value(std::nan("")), platform::Value(-std::numeric_limits<double>::infinity()),
          platform::Value(std::numeric_limits<double>::infinity())}) {
        set(kPrefInputPause, pause);
        press(platform::keycode::Escape, "\x1b");
        env.advance(30);
        type("abc");
        env.advance(9);
        EXPECT_EQ(fieldText(), "abc") << pause.doubleValue();
        env.advance(1);
        EXPECT_EQ(fieldText(), "") << "ten seconds, the default, for " << pause.doubleValue();
    }
}

TEST_F(PasswordTest, PenaltyWithOneMinuteLastsSixtySixSeconds) {
    enter("x");
    enter("x");
    enter("x");
    EXPECT_EQ(imageName(), "stop.png");
    EXPECT_TRUE(app->lockPasswordField().isHidden());
    EXPECT_EQ(app->lockInfoText().stringValue(), "");
    EXPECT_EQ(app->getPenalty(), 65);
    EXPECT_FALSE(app->timer(LockTimer::InputLimit)) << "no input pause during the penalty";

    for (int second = 1; second <= 5; ++second) {
        tick(1);
        EXPECT_EQ(imageName(), "stop.png") << "tick " << second;
    }
    tick(1);
    EXPECT_EQ(imageName(), "lock.png");
    tick(59);
    EXPECT_TRUE(app->lockPasswordField().isHidden()) << "65 seconds in";
    tick(1);
    EXPECT_FALSE(app->lockPasswordField().isHidden()) << "66 seconds in";
    EXPECT_EQ(app->lockInfoText().stringValue(), "Please enter your password.");
    EXPECT_EQ(app->getRetriesLeft(), 3);
    EXPECT_FALSE(app->timer(LockTimer::Penalty));
    EXPECT_TRUE(app->timer(LockTimer::InputLimit) && app->timer(LockTimer::InputLimit)->isValid());
}

// A guard that takes the lock over counts on from here: it hears of every
// wrong password and of the wait the third starts, and of its end.
TEST_F(PasswordTest, EveryWrongPasswordAndTheWaitAreRecordedForTheGuard) {
    struct Recorder final : platform::AttemptsRecord {
        std::vector<std::pair<int, double>> recorded;
        void record(int wrong, double waitSeconds) override { recorded.emplace_back(wrong, waitSeconds); }
    } recorder;
    platform::AttemptsRecord::install(&recorder);
    enter("x");
    enter("x");
    enter("x");
    tick(66);
    platform::AttemptsRecord::install(nullptr);
    EXPECT_EQ(recorder.recorded, (std::vector<std::pair<int, double>>{{1, 0.0}, {2, 0.0}, {3, 66.0}, {0, 0.0}}));
}

TEST_F(PasswordTest, PenaltyOfZeroMinutesLastsSixSeconds) {
    set(kPrefPenalty, 0);
    set(kPrefThreeWrongPasswordsImage, 3);
    enter("x");
    enter("x");
    enter("x");
    EXPECT_EQ(imageName(), "f_ckoff.png");
    tick(5);
    EXPECT_EQ(imageName(), "f_ckoff.png");
    EXPECT_TRUE(app->lockPasswordField().isHidden());
    tick(1);
    EXPECT_FALSE(app->lockPasswordField().isHidden());
    EXPECT_EQ(imageName(), "lock.png");
}

TEST_F(PasswordTest, PenaltyPictureFollowsTheSetting) {
    set(kPrefThreeWrongPasswordsImage, 2);
    enter("x");
    enter("x");
    enter("x");
    EXPECT_EQ(imageName(), "peace.png");
}

TEST_F(PasswordTest, PenaltyPictureOutOfRangeLeavesThePictureAlone) {
    set(kPrefThreeWrongPasswordsImage, 7);
    enter("x");
    enter("x");
    enter("x");
    EXPECT_EQ(imageName(), "one.png");
}

// Guessing is slowed down: what is typed during the penalty is neither kept
// nor checked, the right password included, and counts only as input.
TEST_F(PasswordTest, ThePenaltySwallowsEveryGuess) {
    struct Case {
        const char* name;
        std::function<void()> guess;
    };
    const std::vector<Case> cases = {
        {"the right password", [this] { enter(kPassword); }},
        {"a wrong one", [this] { enter("wrong"); }},
        {"Return alone", [this] { press(platform::keycode::Return, "\r"); }},
        {"keypad Enter", [this] { press(platform::keycode::KeypadEnter, "\r"); }},
        {"the password through the field",
         [this] {
             app->lockPasswordField().userEdited(kPassword);
             app->passwordEntered(nullptr);
         }},
    };
    enter("x");
    enter("x");
    enter("x");
    events.clear();
    tick(10);
    for (const Case& c : cases) {
        app->lockPasswordField().setStringValue("");
        c.guess();
        EXPECT_EQ(app->lockState(), LockState::Locked) << c.name;
        EXPECT_EQ(app->getRetriesLeft(), 0) << c.name;
        EXPECT_TRUE(events.empty()) << c.name;
    }
    EXPECT_TRUE(app->timer(LockTimer::Dim) && app->timer(LockTimer::Dim)->isValid()) << "keys still count as input";

    tick(60);
    ASSERT_FALSE(app->timer(LockTimer::Penalty));
    app->lockPasswordField().setStringValue("");
    enter(kPassword);
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "once the penalty is over the password unlocks";
}

TEST_F(PasswordTest, EscapeDeleteAndKeysThatLeaveTheTextAlone) {
    type("abc");
    press(platform::keycode::Delete);
    EXPECT_EQ(fieldText(), "ab");
    press(platform::keycode::Escape, "\x1b");
    EXPECT_EQ(fieldText(), "");
    EXPECT_EQ(app->getRetriesLeft(), 3) << "Escape is no attempt";
    press(platform::keycode::Delete);
    EXPECT_EQ(fieldText(), "");

    type("z");
    const std::uint16_t untouched[] = {48,  64,  71,  79,  80,  90,  96,  97,  98,  99,  100, 101, 103, 105, 106, 107,
                                       109, 111, 113, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126};
    for (std::uint16_t code : untouched) press(code, "\xef\x9c\x80");
    EXPECT_EQ(fieldText(), "z");
    // Other codes type their characters, even function-key neighbours.
    press(114, "h");
    press(102, "");
    EXPECT_EQ(fieldText(), "zh");
}

TEST_F(PasswordTest, DeleteRemovesAWholeCharacter) {
    type("p");
    press(0, "\xc3\xa9");  // é, two bytes in UTF-8
    press(platform::keycode::Delete);
    EXPECT_EQ(fieldText(), "p");
}

TEST_F(PasswordTest, KeysThatLeaveTheTextAloneStillCountAsInput) {
    const double dimDue = app->timer(LockTimer::Dim)->fireDate();
    env.advance(30);
    press(123);  // left arrow
    EXPECT_GT(app->timer(LockTimer::Dim)->fireDate(), dimDue);
}

TEST_F(PasswordTest, RepeatedKeysAreDroppedEntirely) {
    type("a");
    const double dimDue = app->timer(LockTimer::Dim)->fireDate();
    env.advance(5);
    press(0, "a", true);
    press(0, "a", true);
    EXPECT_EQ(fieldText(), "a");
    EXPECT_EQ(app->timer(LockTimer::Dim)->fireDate(), dimDue) << "a repeat is not even input";
}

TEST_F(PasswordTest, CommandCombinationsAreSwallowed) {
    auto event = platform::Event::keyDown(12, "q", false, platform::Event::Command);
    app->lockWindow()->sendEvent(event);
    EXPECT_EQ(fieldText(), "");
    EXPECT_TRUE(app->performKeyEquivalent(event));
}

TEST_F(PasswordTest, InputPauseClearsTheFieldAndPostsTheTimeout) {
    // The pause began with the prompt, 0.2 seconds ago.
    type("abc");
    env.advance(9.7);
    EXPECT_EQ(fieldText(), "abc");
    env.advance(0.2);
    EXPECT_EQ(fieldText(), "");
    EXPECT_EQ(imageName(), "lock.png");
    ASSERT_EQ(eventNames(), std::vector<std::string>{kPasswordTimeoutEvent});
    EXPECT_EQ(events[0].userInfo.size(), 2u);
    EXPECT_EQ(app->getRetriesLeft(), 3);
}

TEST_F(PasswordTest, InputPauseIsNotPostponedByTyping) {
    // The pause started when the prompt appeared.
    env.advance(6);
    type("abc");
    env.advance(4.1);
    EXPECT_EQ(fieldText(), "");
    EXPECT_EQ(eventNames(), std::vector<std::string>{kPasswordTimeoutEvent});
    type("d");
    env.advance(9.9);
    EXPECT_EQ(fieldText(), "d") << "the next key after a timeout starts a new pause";
}

TEST_F(PasswordTest, InputPauseZeroMeansNoLimit) {
    app->stopTimer(LockTimer::InputLimit);
    set(kPrefInputPause, 0);
    type("abc");
    EXPECT_FALSE(app->timer(LockTimer::InputLimit));
    env.advance(120);
    EXPECT_EQ(fieldText(), "abc");
}

TEST_F(PasswordTest, TimeoutEventSwitchedOffOnlyClears) {
    set(kPrefPasswordTimeout, false);
    type("abc");
    env.advance(11);
    EXPECT_EQ(fieldText(), "");
    EXPECT_TRUE(events.empty());
}

TEST_F(PasswordTest, DimScreenZeroMeansInputNeverArmsTheDimming) {
    set(kPrefDimScreen, 0);
    type("a");
    EXPECT_FALSE(app->timer(LockTimer::Dim));
}

TEST_F(PasswordTest, EditsThroughTheFieldReportTheChange) {
    app->lockPasswordField().userEdited("ab");
    EXPECT_EQ(imageName(), "three.png");
    EXPECT_TRUE(env.logged("passwordIsChanging"));
}

class FirstKeyTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        launch();
        lockAndSettle();
        env.advance(1.0);
    }
};

TEST_F(FirstKeyTest, WakingKeyIsTypedByDefault) {
    press(38, "j");
    press(40, "k");
    EXPECT_EQ(app->dimState(), DimState::Active);
    EXPECT_EQ(fieldText(), "jk");
    // The log says a key came, never which: neither its characters nor its code.
    EXPECT_TRUE(env.logged("KEY DOWN while dimmed. Activating"));
    EXPECT_EQ(env.logLinesContaining("PROCESSING KEY DOWN").size(), 2u);
    for (const char* identity : {"(38)", "(40)", "'j'", "'k'", "\u2022"})
        EXPECT_TRUE(env.logLinesContaining(identity).empty()) << identity;
    for (const std::string& line : env.logLinesContaining("KEY DOWN"))
        EXPECT_EQ(line.find_first_of("jk0123456789", line.find("KEY DOWN")), std::string::npos) << line;
}

TEST_F(FirstKeyTest, WakingKeyIsDroppedWithIgnoreFirstKey) {
    set(kPrefIgnoreFirstKey, true);
    type("s");
    EXPECT_EQ(app->dimState(), DimState::Active);
    EXPECT_EQ(fieldText(), "");
    EXPECT_TRUE(env.logged("SKIPPING KEY DOWN, kPrefIgnoreFirstKey set"));
    type("t");
    EXPECT_EQ(fieldText(), "t");
}

TEST_F(FirstKeyTest, KeyWithinTheSecondOfLockingDoesNotActivate) {
    app.reset();
    events.clear();
    launch();
    lockAndSettle();
    // Still within the locking second on the wall clock.
    env.clock().set(static_cast<double>(app->getLockTime()) + 0.5);
    type("s");
    EXPECT_EQ(app->dimState(), DimState::Dimmed);
    EXPECT_TRUE(env.logged("makeActive aborted, less then 1 second since locking"));
}

TEST_F(FirstKeyTest, InputBeforeTheFadeInIsIgnoredByTheWindow) {
    app.reset();
    launch();
    app->lockScreen(nullptr);
    env.advance(0.05);
    app->lockWindow()->sendEvent(platform::Event::ofType(platform::Event::Type::LeftMouseDown));
    EXPECT_EQ(app->dimState(), DimState::Dimmed);
    env.advance(1.0);
    app->lockWindow()->sendEvent(platform::Event::ofType(platform::Event::Type::LeftMouseDown));
    EXPECT_EQ(app->dimState(), DimState::Active);
    EXPECT_TRUE(env.logged("-> gotEvent() ("));
}

}  // namespace
}  // namespace apptest
