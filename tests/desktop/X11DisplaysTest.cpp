#include <gtest/gtest.h>

#include "desktop/PrivateDisplay.h"
#include "desktop/X11TestClients.h"
#include "desktop/X11SessionTest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "QtTestApplication.h"
#include "QtWidgetTesting.h"

#include "platform/desktop/LockGuard.h"
#include "platform/desktop/x11/X11Displays.h"
#include "platform/desktop/x11/X11Session.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xrandr.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// These tests talk to a real X server; the end-to-end runner starts them
// under Xvfb. Without a display they skip.

using namespace platform::desktop;

namespace {

std::vector<GammaRamp> currentRamps(Display* dpy) {
    std::vector<GammaRamp> ramps;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(dpy, DefaultRootWindow(dpy));
    for (int i = 0; resources && i < resources->ncrtc; ++i) {
        const int size = XRRGetCrtcGammaSize(dpy, resources->crtcs[i]);
        if (size <= 0) continue;
        XRRCrtcGamma* gamma = XRRGetCrtcGamma(dpy, resources->crtcs[i]);
        GammaRamp ramp;
        ramp.crtc = resources->crtcs[i];
        ramp.red.assign(gamma->red, gamma->red + size);
        ramp.green.assign(gamma->green, gamma->green + size);
        ramp.blue.assign(gamma->blue, gamma->blue + size);
        XRRFreeGamma(gamma);
        ramps.push_back(std::move(ramp));
    }
    if (resources) XRRFreeScreenResources(resources);
    return ramps;
}

void setRamps(Display* dpy, const std::vector<GammaRamp>& ramps, std::uint16_t solid) {
    for (const GammaRamp& ramp : ramps) {
        XRRCrtcGamma* gamma = XRRAllocGamma(static_cast<int>(ramp.red.size()));
        for (std::size_t i = 0; i < ramp.red.size(); ++i) gamma->red[i] = gamma->green[i] = gamma->blue[i] = solid;
        XRRSetCrtcGamma(dpy, ramp.crtc, gamma);
        XRRFreeGamma(gamma);
    }
    XSync(dpy, False);
}

bool allSolid(const std::vector<GammaRamp>& ramps, std::uint16_t value) {
    for (const GammaRamp& ramp : ramps)
        for (std::size_t i = 0; i < ramp.red.size(); ++i)
            if (ramp.red[i] != value || ramp.green[i] != value || ramp.blue[i] != value) return false;
    return true;
}

bool sameRamps(const std::vector<GammaRamp>& a, const std::vector<GammaRamp>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].red != b[i].red || a[i].green != b[i].green || a[i].blue != b[i].blue) return false;
    return true;
}

class X11DisplaysTest : public X11SessionTest {
protected:
    void SetUp() override {
        X11SessionTest::SetUp();
        if (!sessionReady()) return;
        guard = std::make_unique<LockGuard>("");
        displays = std::make_unique<X11Displays>(*session, *guard);
    }
    void TearDown() override {
        displays.reset();
        guard.reset();
        X11SessionTest::TearDown();
    }

    // Children of the root in stacking order, bottom first.
    std::vector<::Window> stacking() {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        XQueryTree(session->display(), session->root(), &root, &parent, &children, &count);
        std::vector<::Window> order(children, children + count);
        if (children) XFree(children);
        return order;
    }

    std::unique_ptr<LockGuard> guard;
    std::unique_ptr<X11Displays> displays;
};

}  // namespace

TEST_F(X11DisplaysTest, CaptureTakesTheKeyboardAndReleaseGivesItBack) {
    OtherClient other;
    std::vector<platform::DisplayID> ids;
    ASSERT_EQ(displays->onlineDisplays(8, ids), 0);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids.front(), displays->mainDisplay());
    for (auto id : ids) ASSERT_EQ(displays->capture(id, 0), 0);
    EXPECT_TRUE(displays->isCaptured());
    EXPECT_TRUE(other.keyboardTakenByAnother());
    EXPECT_EQ(displays->releaseAll(), 0);
    EXPECT_FALSE(other.keyboardTakenByAnother());
}

// A keyboard held by another client is waited for on a timer: the caller is
// never held up, the answer comes from the event loop, Held once the other
// client lets go, Refused after about a second.
TEST_F(X11DisplaysTest, AKeyboardHeldElsewhereIsWaitedForOnATimer) {
    OtherClient other;
    ASSERT_EQ(other.grabKeyboard(), GrabSuccess);
    const auto before = stacking().size();
    std::optional<platform::CaptureOutcome> outcome;
    auto capture = [&] { displays->captureAll([&](platform::CaptureOutcome o) { outcome = o; }); };

    auto started = std::chrono::steady_clock::now();
    capture();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500)) << "the caller waited";
    EXPECT_FALSE(outcome) << "answered later, never from inside the call";
    ASSERT_TRUE(processEventsUntil([&] { return outcome.has_value(); }, 5000));
    EXPECT_EQ(*outcome, platform::CaptureOutcome::Refused);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(850));
    EXPECT_FALSE(displays->isCaptured());
    // No covering window is left behind (the input-only grab window is unmapped).
    EXPECT_LE(stacking().size(), before + 1);

    outcome.reset();
    capture();
    QTimer::singleShot(300, [&] { other.ungrabKeyboard(); });
    ASSERT_TRUE(processEventsUntil([&] { return outcome.has_value(); }, 5000));
    EXPECT_EQ(*outcome, platform::CaptureOutcome::Held);
    EXPECT_TRUE(displays->isCaptured());
    EXPECT_TRUE(other.keyboardTakenByAnother());
    EXPECT_FALSE(displays->coverWindows().empty());
    displays->releaseAll();
}

TEST_F(X11DisplaysTest, EveryFurtherMasterKeyboardIsGrabbedToo) {
    OtherClient other;
    const auto [keyboard, pointer] = other.addMasterPair("tarnwick-test");
    ASSERT_GT(keyboard, 0);
    EXPECT_FALSE(other.deviceGrabbedElsewhere(keyboard));
    ASSERT_EQ(displays->capture(displays->mainDisplay(), 0), 0);
    EXPECT_TRUE(other.deviceGrabbedElsewhere(keyboard)) << "the second keyboard could still type into other windows";
    displays->releaseAll();
    EXPECT_FALSE(other.deviceGrabbedElsewhere(keyboard));
    other.removeMasterPair(pointer);
}

TEST_F(X11DisplaysTest, CoversStayAboveWindowsMappedWhileCaptured) {
    ASSERT_EQ(displays->capture(displays->mainDisplay(), 0), 0);
    const ::Window cover = displays->coverWindows().front();

    OtherClient other;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const ::Window intruder = XCreateWindow(other.dpy, DefaultRootWindow(other.dpy), 0, 0, 300, 200, 0, CopyFromParent,
                                            InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    XMapRaised(other.dpy, intruder);
    XSync(other.dpy, False);
    processEventsFor(200);

    EXPECT_TRUE(other.above(cover, intruder));
    XDestroyWindow(other.dpy, intruder);
    XSync(other.dpy, False);
    displays->releaseAll();
}

TEST_F(X11DisplaysTest, CoversComeBackOnTopAfterTheStackIsCirculated) {
    OtherClient other;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const ::Window underneath =
        XCreateWindow(other.dpy, DefaultRootWindow(other.dpy), 0, 0, 300, 200, 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWOverrideRedirect, &attributes);
    XMapRaised(other.dpy, underneath);
    XSync(other.dpy, False);
    ASSERT_EQ(displays->capture(displays->mainDisplay(), 0), 0);
    const ::Window cover = displays->coverWindows().front();
    auto coverIsAbove = [&] { return other.above(cover, underneath); };
    // Circulating the root's children moves windows without configuring
    // them: down sends the top one (a cover) to the bottom, up brings the
    // lowest hidden one to the top.
    XCirculateSubwindowsDown(other.dpy, DefaultRootWindow(other.dpy));
    XSync(other.dpy, False);
    processEventsFor(200);
    EXPECT_TRUE(coverIsAbove()) << "the window below shows after a circulation down";
    XCirculateSubwindowsUp(other.dpy, DefaultRootWindow(other.dpy));
    XSync(other.dpy, False);
    processEventsFor(200);
    EXPECT_TRUE(coverIsAbove()) << "the window below shows after a circulation up";

    XDestroyWindow(other.dpy, underneath);
    XSync(other.dpy, False);
    displays->releaseAll();
}

TEST_F(X11DisplaysTest, MonitorsAddedOrRemovedWhileCapturedAreCoveredAtOnce) {
    if (std::system("xrandr --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "xrandr is not installed";
    // The covers among the children of the root and of wherever the lock keeps them.
    OtherClient other;
    auto covers = [&] {
        std::set<::Window> parents{session->root()};
        for (::Window w : displays->coverWindows()) parents.insert(other.parentOf(w));
        int count = 0;
        for (::Window parent : parents)
            for (::Window w : other.children(parent)) count += other.name(w) == "Tarnwick cover";
        return count;
    };
    const int monitors = static_cast<int>(displays->monitors().size());
    for (const Monitor& m : displays->monitors()) ASSERT_EQ(displays->capture(m.id, 0), 0);
    EXPECT_EQ(covers(), monitors);
    ASSERT_EQ(std::system("xrandr --setmonitor tarnwick-test 400/100x300/80+100+100 none"), 0);
    processEventsFor(300);
    EXPECT_EQ(covers(), monitors + 1) << "the new monitor is covered";
    ASSERT_EQ(std::system("xrandr --delmonitor tarnwick-test"), 0);
    processEventsFor(300);
    EXPECT_EQ(covers(), monitors) << "the cover of a removed monitor goes";
    displays->releaseAll();
    EXPECT_EQ(covers(), 0);
}

TEST_F(X11DisplaysTest, ScreenFramesHaveTheirOriginAtTheBottomLeftOfTheMainScreen) {
    const auto frames = displays->screenFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front().x, 0);
    EXPECT_EQ(frames.front().y, 0);
    const platform::Rect inRoot = displays->toRoot({0, 0, 100, 50});
    EXPECT_EQ(inRoot.y, frames.front().height - 50);
    EXPECT_EQ(displays->fromRoot(inRoot), (platform::Rect{0, 0, 100, 50}));
}

TEST_F(X11DisplaysTest, AFadeBlendsEveryCrtcAndTheReleaseRestoresIt) {
    const std::vector<GammaRamp> original = currentRamps(session->display());
    if (original.empty()) GTEST_SKIP() << "this X server has no gamma ramps";
    std::uint32_t token = 0;
    ASSERT_EQ(displays->acquireFadeReservation(15.0, token), 0);
    std::uint32_t second = 0;
    EXPECT_NE(displays->acquireFadeReservation(15.0, second), 0) << "one reservation at a time";
    ASSERT_EQ(displays->fade(token, 0.1, 0.0, 1.0, 1.0, 1.0, 1.0, true), 0);
    EXPECT_TRUE(allSolid(currentRamps(session->display()), 65535));
    EXPECT_NE(displays->fade(token + 1, 0.1, 1.0, 0.0, 1.0, 1.0, 1.0, true), 0) << "a wrong token is refused";
    ASSERT_EQ(displays->releaseFadeReservation(token), 0);
    EXPECT_TRUE(sameRamps(currentRamps(session->display()), original));
}

TEST_F(X11DisplaysTest, AnExpiredReservationGivesTheOriginalRampsBack) {
    const std::vector<GammaRamp> original = currentRamps(session->display());
    if (original.empty()) GTEST_SKIP() << "this X server has no gamma ramps";
    std::uint32_t token = 0;
    ASSERT_EQ(displays->acquireFadeReservation(0.2, token), 0);
    ASSERT_EQ(displays->fade(token, 0.05, 0.0, 1.0, 0.0, 0.0, 0.0, true), 0);
    EXPECT_TRUE(allSolid(currentRamps(session->display()), 0));
    processEventsFor(400);
    EXPECT_TRUE(sameRamps(currentRamps(session->display()), original));
    EXPECT_NE(displays->releaseFadeReservation(token), 0) << "the reservation is gone";
    std::uint32_t next = 0;
    EXPECT_EQ(displays->acquireFadeReservation(1.0, next), 0);
    displays->releaseFadeReservation(next);
}

TEST(LockGuard, RestoresTheRampsWhenTheApplicationIsKilledDuringAFade) {
    if (!havePrivateXServer()) GTEST_SKIP() << "needs a private X server (tests/e2e/with_xvfb.py provides one)";
    Display* dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    const std::vector<GammaRamp> original = currentRamps(dpy);
    if (original.empty()) {
        XCloseDisplay(dpy);
        GTEST_SKIP() << "this X server has no gamma ramps";
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The dying application: remembers the ramps, whitens the screen and
        // is killed without a chance to clean up.
        LockGuard guard(std::getenv("DISPLAY"), TARNWICK_GUARD_EXECUTABLE);
        if (!guard.isRunning()) _exit(1);
        Display* own = XOpenDisplay(nullptr);
        guard.remember(currentRamps(own));
        setRamps(own, currentRamps(own), 65535);
        raise(SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    bool restored = false;
    for (int i = 0; i < 100 && !restored; ++i) {
        restored = sameRamps(currentRamps(dpy), original);
        if (!restored) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(restored) << "the guard did not give the ramps back";
    setRamps(dpy, {}, 0);
    XCloseDisplay(dpy);
}
