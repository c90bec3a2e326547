#include "PaneTestFixture.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

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

TEST_F(ApplicationControlTest, AnApplicationThatEndsUnaskedGivesTheButtonBackWithTheReason) {
    using Exit = platform::Workspace::ApplicationExit;
    openPane();
    startStop().performClick();
    workspace.endLaunchedApplication(0, Exit{1, 0});
    env.advance(0);
    expectButton("Start", 0, true);
    EXPECT_EQ(text("applicationStatus"), "Tarnwick could not start (exit status 1); its log says why.");
    EXPECT_FALSE(control<platform::TextField>("applicationStatus")->isHidden());

    // Started this time, then killed while it runs.
    startStop().performClick();
    EXPECT_TRUE(control<platform::TextField>("applicationStatus")->isHidden()) << "a new start, a new story";
    startRequestedApplication();
    expectButton("Stop", 1, true);
    app.reset();
    workspace.endLaunchedApplication(1, Exit{0, SIGSEGV});
    env.advance(0);
    expectButton("Start", 0, true);
    EXPECT_EQ(text("applicationStatus"), "Tarnwick ended unexpectedly (Segmentation fault).");

    // Stopped from the pane: its end is no news.
    startStop().performClick();
    startRequestedApplication();
    startStop().performClick();
    ASSERT_TRUE(waitUntil([&] { return startStop().title() == "Start"; }));
    workspace.endLaunchedApplication(2, Exit{0, 0});
    env.advance(0);
    expectButton("Start", 0, true);
    EXPECT_TRUE(control<platform::TextField>("applicationStatus")->isHidden());
}

// A session bus that answers other threads' lookups only once opened, and
// then slowly.
class SlowBus final : public platform::ConnectionService {
public:
    explicit SlowBus(platform::ConnectionService& inner) : inner_(inner) {}
    std::unique_ptr<platform::Connection> makeConnection() override { return inner_.makeConnection(); }
    std::unique_ptr<platform::RemoteRoot> lookup(const std::string& name) override {
        if (platform::RunLoop::main().isMainThread()) return inner_.lookup(name);
        ++inFlight;
        {
            std::unique_lock<std::mutex> guard(lock_);
            opened_.wait(guard, [this] { return open_; });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        auto root = inner_.lookup(name);
        --inFlight;
        return root;
    }
    void open() {
        std::lock_guard<std::mutex> guard(lock_);
        open_ = true;
        opened_.notify_all();
    }
    std::atomic<int> inFlight{0};

private:
    platform::ConnectionService& inner_;
    std::mutex lock_;
    std::condition_variable opened_;
    bool open_ = false;
};

TEST_F(ApplicationControlTest, ClosingTheWindowDuringStopWaitsForTheStopRequest) {
    launch();
    openPane();
    SlowBus slowBus(connections);
    platform::ConnectionService::install(&slowBus);
    startStop().performClick();
    ASSERT_TRUE(waitUntil([&] { return slowBus.inFlight == 1; }));
    std::thread user([&slowBus] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        slowBus.open();
    });
    hostWindow.reset();
    pane.reset();
    EXPECT_EQ(slowBus.inFlight, 0) << "the stop request outlived the pane";
    user.join();
    EXPECT_TRUE(platform::Application::shared().isTerminated()) << "the request still reached the application";
    platform::ConnectionService::install(&connections);
}

}  // namespace
}  // namespace panetest
