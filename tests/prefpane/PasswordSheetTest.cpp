#include "PaneTestFixture.h"
#include "platform/headless/HeadlessLayoutCharacters.h"

namespace panetest {
namespace {

class PasswordSheetTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        inputSources.install("xkb:de");
        inputSources.setCurrent("xkb:de");
    }
    // Opens the sheet and keeps its fields.
    void openSheet() {
        button("setPasswordButton").performClick();
        sheet = hostWindow->attachedSheet();
        ASSERT_NE(sheet, nullptr);
        auto field = [this](const char* id) {
            return std::dynamic_pointer_cast<InputField>(sheet->contentView()->viewWithIdentifier(id));
        };
        oldField = field("oldPassword");
        newField = field("newPassword");
        repeatField = field("newPasswordRepeat");
        change =
            std::dynamic_pointer_cast<platform::Button>(sheet->contentView()->viewWithIdentifier("changePassword"));
    }
    void fill(const std::string& old, const std::string& typed, const std::string& repeated) {
        oldField->userEdited(old);
        newField->userEdited(typed);
        repeatField->userEdited(repeated);
    }
    void expectAlert(const std::string& message, const std::string& informative) {
        ASSERT_EQ(env.alerts().shownCount(), 1u);
        const platform::Alert alert = env.alerts().shown().front();
        EXPECT_EQ(alert.messageText, message);
        EXPECT_EQ(alert.informativeText, informative);
        EXPECT_EQ(alert.buttons, std::vector<std::string>{"Ok"});
    }
    void expectRefused(platform::Responder* focus) {
        EXPECT_EQ(hostWindow->attachedSheet(), sheet) << "the sheet stays open";
        EXPECT_EQ(sheet->firstResponder(), focus);
        EXPECT_EQ(changeCount(), changesBefore);
        EXPECT_EQ(stored(kPrefPassword), storedBefore);
    }
    void remember() {
        changesBefore = changeCount();
        storedBefore = stored(kPrefPassword);
    }

    platform::Window* sheet = nullptr;
    std::shared_ptr<InputField> oldField, newField, repeatField;
    std::shared_ptr<platform::Button> change;
    std::size_t changesBefore = 0;
    platform::Value storedBefore;
};

TEST_F(PasswordSheetTest, WithNoPasswordTheFirstMatchingPairBecomesThePassword) {
    openPane();
    openSheet();
    EXPECT_FALSE(oldField->isEditable());
    remember();
    fill("ignored", "n\u00e9w", "n\u00e9w");
    change->performClick();

    EXPECT_EQ(env.alerts().shownCount(), 0u);
    EXPECT_EQ(stored(kPrefPassword), platform::Value(digestOf("n\u00e9w")));
    EXPECT_EQ(stored(kPrefPasswordInputSource), platform::Value("xkb:de"));
    EXPECT_EQ(text("passwordSet"), "Password changed.");
    EXPECT_EQ(control<platform::TextField>("passwordSet")->textColor(), platform::Color::black());
    EXPECT_TRUE(button("startStopButton").isEnabled());
    EXPECT_TRUE(button("startOnLoginCheckbox").isEnabled());
    EXPECT_EQ(hostWindow->attachedSheet(), nullptr);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_TRUE(pane->passwordChanged());
    ASSERT_EQ(changeCount(), changesBefore + 1) << "both writes reach the application with one announcement";
    EXPECT_EQ(announcements().back().at(kPrefPasswordInputSource), platform::Value("xkb:de"));
}

TEST_F(PasswordSheetTest, AWrongCurrentPasswordIsReportedBeforeAnythingElse) {
    setPassword(kPassword);
    openPane();
    openSheet();
    EXPECT_TRUE(oldField->isEditable());
    remember();
    fill("wrong", "", "x");
    change->performClick();
    expectAlert("Wrong password", "The password you provided does not match the currently set password.");
    expectRefused(oldField.get());
    EXPECT_EQ(newField->stringValue(), "") << "the fields keep their contents";
    EXPECT_EQ(repeatField->stringValue(), "x");
}

TEST_F(PasswordSheetTest, DifferentNewPasswordsAreAMismatchAndAreEmptied) {
    openPane();
    openSheet();
    remember();
    fill("", "abc", "abd");
    change->performClick();
    expectAlert("Password missmatch", "The passwords you provided don't match.");
    expectRefused(newField.get());
    EXPECT_EQ(newField->stringValue(), "");
    EXPECT_EQ(repeatField->stringValue(), "");
}

TEST_F(PasswordSheetTest, TwoEmptyNewPasswordsAreAnEmptyPassword) {
    setPassword(kPassword);
    openPane();
    openSheet();
    remember();
    fill(kPassword, "", "");
    change->performClick();
    expectAlert("Password empty", "You did not provide a new password.");
    expectRefused(newField.get());
}

TEST_F(PasswordSheetTest, APasswordTheKeyboardCannotTypeIsRefusedNamingItsCharacters) {
    platform::headless::HeadlessLayoutCharacters keyboard;
    keyboard.setMissing({"\u00e9", "\u0416"});
    platform::LayoutCharacters::install(&keyboard);
    struct Uninstall {
        ~Uninstall() { platform::LayoutCharacters::install(nullptr); }
    } uninstall;
    openPane();
    openSheet();
    EXPECT_FALSE(newField->acceptsPaste());
    EXPECT_FALSE(repeatField->acceptsPaste());
    remember();
    fill("", "caf\u00e9 \u0416\u00e9", "caf\u00e9 \u0416\u00e9");
    change->performClick();
    expectAlert("Password cannot be typed",
                "The keyboard layout in use cannot type these characters at the lock screen: \u00e9 \u0416. Choose "
                "a password without them, or switch to a layout that has them.");
    expectRefused(newField.get());
    EXPECT_EQ(newField->stringValue(), "");
    EXPECT_EQ(repeatField->stringValue(), "");
    env.alerts().clear();
    fill("", "cafe", "cafe");
    change->performClick();
    EXPECT_EQ(env.alerts().shownCount(), 0u);
    EXPECT_EQ(stored(kPrefPassword), platform::Value(digestOf("cafe")));
}

TEST_F(PasswordSheetTest, TheSecondChangeNeedsTheNewPasswordAsTheCurrentOne) {
    setPassword(kPassword);
    openPane();
    openSheet();
    fill(kPassword, "second", "second");
    change->performClick();
    // Whatever the file says now, the pane compares with what it stored.
    setPassword("someone else's");
    openSheet();
    fill(kPassword, "third", "third");
    change->performClick();
    expectAlert("Wrong password", "The password you provided does not match the currently set password.");
    env.alerts().clear();
    fill("second", "third", "third");
    change->performClick();
    EXPECT_EQ(env.alerts().shownCount(), 0u);
    EXPECT_EQ(stored(kPrefPassword), platform::Value(digestOf("third")));
}

TEST_F(PasswordSheetTest, ReturnMovesThroughTheFieldsAndTheLastOneChanges) {
    setPassword(kPassword);
    openPane();
    openSheet();
    fill(kPassword, "next", "next");
    oldField->performReturn();
    EXPECT_EQ(sheet->firstResponder(), newField.get());
    newField->performReturn();
    EXPECT_EQ(sheet->firstResponder(), repeatField.get());
    repeatField->performReturn();
    EXPECT_EQ(stored(kPrefPassword), platform::Value(digestOf("next")));
}

TEST_F(PasswordSheetTest, LeavingTheSheetChangesNothing) {
    openPane();
    openSheet();
    remember();
    fill("", "abc", "abc");
    sheet->performClose();
    EXPECT_EQ(hostWindow->attachedSheet(), nullptr);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(changeCount(), changesBefore);
    EXPECT_TRUE(stored(kPrefPassword).isNull());
}

TEST_F(PasswordSheetTest, APasswordChangedWhileTheApplicationRunsUnlocksItsNextLock) {
    setPassword(kPassword);
    launch();
    openPane();
    openSheet();
    fill(kPassword, "fresh", "fresh");
    change->performClick();
    env.advance(0);
    lockAndSettle();
    wakeLockScreen();
    enter(kPassword);
    EXPECT_EQ(app->lockState(), LockState::Locked) << "the old password no longer unlocks";
    enter("fresh");
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
}

}  // namespace
}  // namespace panetest
