#include "PaneTestFixture.h"

namespace panetest {
namespace {

class ApplicationControlTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        setPassword(kPassword);
    }
    platform::Button& startStop() { return button("startStopButton"); }
    void expectButton(const std::string& title, int tag, bool enabled) {
        EXPECT_EQ(startStop().title(), title);
        EXPECT_EQ(startStop().tag(), tag);
        EXPECT_EQ(startStop().isEnabled(), enabled);
    }
    std::string applicationBundle() const { return paneBundlePath() + "/Tarnwick.app"; }
    // The launch the pane asked the workspace for, carried out.
    void startRequestedApplication() {
        ASSERT_FALSE(workspace.launchedApplications().empty());
        app.reset();
        platform::Application::shared().reset();
        platform::Application::shared().setTerminationHandler([] {});
        launch();
    }
    bool waitUntil(const std::function<bool()>& done) { return env.runLoop().runUntil(done); }
};

TEST_F(ApplicationControlTest, StartWaitsForTheApplicationToAnnounceItself) {
    openPane();
    expectButton("Start", 0, true);
    startStop().performClick();
    expectButton("Waiting\u2026", 0, false);
    EXPECT_EQ(workspace.launchedApplications(), std::vector<std::string>{applicationBundle()});
    EXPECT_TRUE(platform::Application::shared().isActive()) << "the settings come back to the front";
    env.advance(10);
    expectButton("Waiting\u2026", 0, false);

    startRequestedApplication();
    expectButton("Stop", 1, true);
}

TEST_F(ApplicationControlTest, StopQuitsTheApplicationAndTheButtonFollowsItsAnnouncement) {
    launch();
    openPane();
    expectButton("Stop", 1, true);
    startStop().performClick();
    expectButton("Waiting\u2026", 1, false);
    ASSERT_TRUE(waitUntil([&] { return startStop().title() == "Start"; }));
    EXPECT_TRUE(platform::Application::shared().isTerminated());
    expectButton("Start", 0, true);
}

TEST_F(ApplicationControlTest, StopWhileLockedWaitsUntilTheApplicationReallyQuits) {
    launch();
    openPane();
    lockAndSettle();
    startStop().performClick();
    env.advance(5);
    EXPECT_FALSE(platform::Application::shared().isTerminated()) << "a locked screen does not quit";
    expectButton("Waiting\u2026", 1, false);
}

TEST_F(ApplicationControlTest, StopFindingNothingRunningShowsStart) {
    launch();
    openPane();
    app.reset();  // gone without a word
    startStop().performClick();
    ASSERT_TRUE(waitUntil([&] { return startStop().isEnabled(); }));
    expectButton("Start", 0, true);
}

TEST_F(ApplicationControlTest, ShowInDockWhileRunningRestartsTheApplicationOneSecondAfterItStopped) {
    launch();
    openPane();
    button("showInDock").performClick();
    EXPECT_EQ(stored(kPrefShowInDock), platform::Value(false));
    ASSERT_TRUE(waitUntil([] { return platform::Application::shared().isTerminated(); }));
    env.advance(0.5);
    expectButton("Waiting\u2026", 1, false);
    EXPECT_TRUE(workspace.launchedApplications().empty());
    env.advance(0.6);
    EXPECT_EQ(workspace.launchedApplications(), std::vector<std::string>{applicationBundle()});
    expectButton("Waiting\u2026", 1, false);

    startRequestedApplication();
    expectButton("Stop", 1, true);
}

TEST_F(ApplicationControlTest, ShowInDockWhileStoppedOnlyWritesAndAnnounces) {
    openPane();
    const std::size_t before = changeCount();
    button("showInDock").performClick();
    env.advance(2);
    EXPECT_EQ(changeCount(), before + 1);
    EXPECT_TRUE(workspace.launchedApplications().empty());
    expectButton("Start", 0, true);
}

TEST_F(ApplicationControlTest, AnnouncementsFromAnotherObjectAreNotTheApplications) {
    openPane();
    paneCenter.post(kStartNotification, "com.example.Other");
    env.advance(0);
    expectButton("Start", 0, true);
}

TEST_F(ApplicationControlTest, ALaunchThatCannotBeMadeGivesTheButtonBack) {
    workspace.failCall(platform::headless::HeadlessWorkspace::Call::LaunchApplication, 1);
    openPane();
    startStop().performClick();
    expectButton("Start", 0, true);
    EXPECT_TRUE(env.logged("Cannot launch"));
}

}  // namespace
}  // namespace panetest
