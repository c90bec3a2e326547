#include "AppTestFixture.h"

#include <cctype>
#include <cmath>
#include <limits>

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
        ASSERT_EQ(app->getDim_status(), 1);
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
    EXPECT_TRUE(app->timer(1) && app->timer(1)->isValid());
    EXPECT_TRUE(app->timer(2) && app->timer(2)->isValid());
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
    EXPECT_EQ(app->getLock_status(), 2);
    EXPECT_EQ(eventNames(), std::vector<std::string>{kScreenUnlockedEvent});
}

TEST_F(PasswordTest, KeypadEnterChecksAsReturnDoes) {
    type(kPassword);
    press(platform::keycode::KeypadEnter, "\x03");
    EXPECT_EQ(app->getLock_status(), 2);
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
    EXPECT_EQ(app->getLock_status(), 1);
    set(kPrefPassword, "");
    press(platform::keycode::Return, "\r");
    EXPECT_EQ(app->getLock_status(), 1);
}

TEST_F(PasswordTest, APasswordWrittenWhileLockedCountsOnlyFromTheNextLock) {
    writtenByAnotherProgram({{kPrefPassword, digestOf("attacker")}});
    enter("attacker");
    EXPECT_EQ(app->getLock_status(), 1) << "the lock goes by the password stored when it began";
    enter(kPassword);
    ASSERT_EQ(app->getLock_status(), 2);

    env.advance(2);
    lockAndSettle();
    wakeLockScreen();
    enter("attacker");
    EXPECT_EQ(app->getLock_status(), 2) << "once unlocked, the stored password is read again";
}

TEST_F(PasswordTest, AnUppercaseDigestUnlocksWithItsPassword) {
    std::string digest = digestOf(kPassword);
    for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    set(kPrefPassword, digest);
    enter(kPassword);
    EXPECT_EQ(app->getLock_status(), 2);
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
    EXPECT_FALSE(app->timer(2)) << "no input pause during the penalty";

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
    EXPECT_FALSE(app->timer(3));
    EXPECT_TRUE(app->timer(2) && app->timer(2)->isValid());
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

TEST_F(PasswordTest, TypingDuringThePenaltyStillWorks) {
    enter("x");
    enter("x");
    enter("x");
    tick(10);
    type("ab");
    EXPECT_EQ(fieldText(), "ab") << "the hidden field still takes keys";
    EXPECT_EQ(imageName(), "lock.png") << "no attempt count picture below zero";
    EXPECT_TRUE(app->timer(2) && app->timer(2)->isValid()) << "typing restarts the input pause";
    press(platform::keycode::Return, "\r");
    EXPECT_EQ(app->getRetriesLeft(), -1);
    EXPECT_EQ(app->lockInfoText().stringValue(), "Wrong password. Try again.");
    EXPECT_EQ(eventNames().back(), kWrongPasswordEvent);

    enter(kPassword);
    EXPECT_EQ(app->getLock_status(), 2) << "the right password unlocks even during the penalty";
    EXPECT_FALSE(app->timer(3));
}

TEST_F(PasswordTest, PenaltyEndSetsRetriesBackFromBelowZero) {
    set(kPrefPenalty, 0);
    enter("x");
    enter("x");
    enter("x");
    enter("y");
    EXPECT_EQ(app->getRetriesLeft(), -1);
    tick(6);
    EXPECT_EQ(app->getRetriesLeft(), 3);
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
    const double dimDue = app->timer(1)->fireDate();
    env.advance(30);
    press(123);  // left arrow
    EXPECT_GT(app->timer(1)->fireDate(), dimDue);
}

TEST_F(PasswordTest, RepeatedKeysAreDroppedEntirely) {
    type("a");
    const double dimDue = app->timer(1)->fireDate();
    env.advance(5);
    press(0, "a", true);
    press(0, "a", true);
    EXPECT_EQ(fieldText(), "a");
    EXPECT_EQ(app->timer(1)->fireDate(), dimDue) << "a repeat is not even input";
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
    app->stopTimer(2);
    set(kPrefInputPause, 0);
    type("abc");
    EXPECT_FALSE(app->timer(2));
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
    EXPECT_FALSE(app->timer(1));
}

TEST_F(PasswordTest, EditsThroughTheFieldReportTheChange) {
    app->lockPasswordField().userEdited("ab");
    EXPECT_EQ(imageName(), "three.png");
    EXPECT_TRUE(env.logged("passwordIsChanging"));
}

TEST_F(PasswordTest, TimerNumbersOutsideOneToThreeAreIgnored) {
    app->restartTimer(4);
    app->stopTimer(0);
    EXPECT_TRUE(app->timer(1) && app->timer(1)->isValid());
    EXPECT_FALSE(app->timer(4));
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
    type("s");
    EXPECT_EQ(app->getDim_status(), 1);
    EXPECT_EQ(fieldText(), "s");
    // The log names the key, never the password's characters.
    EXPECT_TRUE(env.logged("KEY DOWN while dimmed. Activating: '\u2022' (0)"));
    EXPECT_TRUE(env.logged("PROCESSING KEY DOWN: '\u2022' (0)"));
    EXPECT_FALSE(env.logged("'s'"));
}

TEST_F(FirstKeyTest, WakingKeyIsDroppedWithIgnoreFirstKey) {
    set(kPrefIgnoreFirstKey, true);
    type("s");
    EXPECT_EQ(app->getDim_status(), 1);
    EXPECT_EQ(fieldText(), "");
    EXPECT_TRUE(env.logged("SKIPPING KEY DOWN, kPrefIgnoreFirstKey set: '\u2022' (0)"));
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
    EXPECT_EQ(app->getDim_status(), 0);
    EXPECT_TRUE(env.logged("makeActive aborted, less then 1 second since locking"));
}

TEST_F(FirstKeyTest, InputBeforeTheFadeInIsIgnoredByTheWindow) {
    app.reset();
    launch();
    app->lockScreen(nullptr);
    env.advance(0.05);
    app->lockWindow()->sendEvent(platform::Event::ofType(platform::Event::Type::LeftMouseDown));
    EXPECT_EQ(app->getDim_status(), 0);
    env.advance(1.0);
    app->lockWindow()->sendEvent(platform::Event::ofType(platform::Event::Type::LeftMouseDown));
    EXPECT_EQ(app->getDim_status(), 1);
    EXPECT_TRUE(env.logged("-> gotEvent() ("));
}

}  // namespace
}  // namespace apptest
