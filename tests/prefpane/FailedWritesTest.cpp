#include "PaneTestFixture.h"

#include "platform/ui/TableView.h"

#include <csignal>
#include <sys/resource.h>

// Settings that cannot reach the disk are never shown as saved: each such
// write says so, a password that was not written is not taken for the
// password, and what is pending is written by the next write that works or
// when the window closes.

namespace panetest {
namespace {

// While it lives, no file of this process can grow: writes fail as on a full
// disk, for root too (file modes would not stop root).
class FullDisk {
public:
    FullDisk() {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = saved_;
        none.rlim_cur = 0;
        ::setrlimit(RLIMIT_FSIZE, &none);
    }
    ~FullDisk() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

class FailedWritesTest : public PaneTest {
protected:
    std::vector<std::string> alertMessages() {
        std::vector<std::string> messages;
        for (const platform::Alert& alert : env.alerts().shown()) messages.push_back(alert.messageText);
        return messages;
    }
    void changePassword(const std::string& old, const std::string& typed) {
        button("setPasswordButton").performClick();
        platform::Window* sheet = hostWindow->attachedSheet();
        ASSERT_NE(sheet, nullptr);
        auto field = [sheet](const char* id) {
            return std::dynamic_pointer_cast<InputField>(sheet->contentView()->viewWithIdentifier(id));
        };
        field("oldPassword")->userEdited(old);
        field("newPassword")->userEdited(typed);
        field("newPasswordRepeat")->userEdited(typed);
        std::dynamic_pointer_cast<platform::Button>(sheet->contentView()->viewWithIdentifier("changePassword"))
            ->performClick();
    }
};

TEST_F(FailedWritesTest, APasswordThatCannotBeWrittenIsNeitherShownNorSavedLater) {
    setPassword(kPassword);
    openPane();
    const std::size_t changesBefore = changeCount();
    {
        FullDisk full;
        changePassword(kPassword, "new secret");
    }
    EXPECT_EQ(alertMessages(), std::vector<std::string>{"Password not changed"});
    EXPECT_EQ(text("passwordSet"), "Password set.") << "no claim of a change";
    EXPECT_NE(hostWindow->attachedSheet(), nullptr) << "the sheet stays open to try again";
    EXPECT_EQ(pane->currentPasswordDigest(), digestOf(kPassword));
    EXPECT_EQ(changeCount(), changesBefore);
    EXPECT_EQ(stored(kPrefPassword), platform::Value(digestOf(kPassword)));

    // The refused password does not slip into the file with the next change.
    pane->closePasswordWindow(nullptr);
    button("lockOnStartup").performClick();
    EXPECT_EQ(stored(kPrefLockOnStartup), platform::Value(true));
    EXPECT_EQ(stored(kPrefPassword), platform::Value(digestOf(kPassword)));
    EXPECT_EQ(changeCount(), changesBefore + 1);

    // Tried again on a disk with room, it is changed.
    changePassword(kPassword, "new secret");
    EXPECT_EQ(text("passwordSet"), "Password changed.");
    EXPECT_EQ(stored(kPrefPassword), platform::Value(digestOf("new secret")));
}

TEST_F(FailedWritesTest, EachWriteThatFailsSaysSoAndTheNextThatWorksSavesWhatIsPending) {
    openPane();
    openPanels.chooseNext(env.home() + "/Applications/Viewer.app");
    const std::size_t changesBefore = changeCount();
    {
        FullDisk full;
        button("lockOnStartup").performClick();
        button("openExceptionsPanel").performClick();
        std::dynamic_pointer_cast<platform::Button>(
            hostWindow->attachedSheet()->contentView()->viewWithIdentifier("addButton"))
            ->performClick();
    }
    EXPECT_EQ(alertMessages(), (std::vector<std::string>{"Settings not saved", "Settings not saved"}));
    EXPECT_EQ(changeCount(), changesBefore) << "nothing new for the application to read";
    EXPECT_TRUE(stored(kPrefLockOnStartup).isNull());
    EXPECT_TRUE(stored(kPrefExceptions).isNull());
    auto table = std::dynamic_pointer_cast<platform::TableView>(
        hostWindow->attachedSheet()->contentView()->viewWithIdentifier("tableView"));
    EXPECT_EQ(table->numberOfRows(), 1) << "the list keeps what the user added";

    // Closing the sheet writes both, and the application hears of it.
    pane->hideExceptionsPanel(nullptr);
    EXPECT_EQ(stored(kPrefLockOnStartup), platform::Value(true));
    EXPECT_EQ(stored(kPrefExceptions), platform::Value(platform::Array{env.home() + "/Applications/Viewer.app"}));
    EXPECT_EQ(changeCount(), changesBefore + 1);
    EXPECT_EQ(alertMessages().size(), 2u);
}

TEST_F(FailedWritesTest, ClosingTheWindowWithUnsavedSettingsTriesAgainOrLetsThemGoKnowingly) {
    openPane();
    for (const char* answer : {"Try Again", "Close Without Saving"}) {
        auto full = std::make_unique<FullDisk>();
        button("fadingEnabled").performClick();
        env.alerts().clear();
        const std::size_t changesBefore = changeCount();
        const platform::Value shown(button("fadingEnabled").state() == 1);
        // The user makes room meanwhile, or gives up.
        env.alerts().answerNext(answer, [&full, answer] {
            if (std::string(answer) == "Try Again") full.reset();
        });
        EXPECT_EQ(pane->shouldUnselect(), platform::PreferencePane::UnselectReply::Now) << answer;
        ASSERT_FALSE(env.alerts().shown().empty()) << answer;
        EXPECT_EQ(env.alerts().shown().front().buttons,
                  (std::vector<std::string>{"Try Again", "Close Without Saving"}));
        full.reset();
        if (std::string(answer) == "Try Again") {
            EXPECT_EQ(stored(kPrefFadingEnabled), shown) << "saved as the window closes";
            EXPECT_EQ(changeCount(), changesBefore + 1);
        } else {
            EXPECT_NE(stored(kPrefFadingEnabled), shown) << "the user chose to lose it";
            EXPECT_EQ(changeCount(), changesBefore);
        }
    }
}

}  // namespace
}  // namespace panetest
