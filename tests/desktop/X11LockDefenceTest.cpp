#include <gtest/gtest.h>

#include "desktop/X11SessionTest.h"
#include "desktop/X11TestClients.h"

#include "QtTestApplication.h"

#include "platform/desktop/LockGuard.h"
#include "platform/desktop/x11/X11Displays.h"
#include "platform/desktop/x11/X11Session.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>

// Another client of the display attacks the lock: each attack must be
// undone within the event-loop turn that reads its events, and the keyboard
// must stay grabbed throughout. Runs on a private X server.

using namespace platform::desktop;

namespace {

class X11LockDefenceTest : public X11SessionTest {
protected:
    void SetUp() override {
        X11SessionTest::SetUp();
        if (!sessionReady()) return;
        Display* dpy = session->display();
        displays = std::make_unique<X11Displays>(*session, guard);
        // A window of the application's own that belongs above the covers,
        // as the lock window does.
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        shield = XCreateWindow(dpy, session->root(), 100, 100, 200, 100, 0, CopyFromParent, InputOutput, CopyFromParent,
                               CWOverrideRedirect, &attributes);
        XMapRaised(dpy, shield);
        for (const Monitor& monitor : displays->monitors()) ASSERT_EQ(displays->capture(monitor.id, 0), 0);
        displays->addShieldWindow(shield, [this] { shieldLost = true; });
        oneTurn();
    }
    void TearDown() override {
        displays.reset();
        X11SessionTest::TearDown();
    }

    // What the application's event loop does with the events of one turn.
    void oneTurn() {
        XSync(session->display(), False);
        session->pump();
        XSync(session->display(), False);
    }

    // On every screen: the lock's windows are the root's viewable children
    // and nothing of another client shows above any of them; the keyboard
    // is still grabbed.
    ::testing::AssertionResult lockHolds(OtherClient& other) {
        const std::set<::Window> ours = ownWindows();
        std::set<::Window> atTheTop;
        for (int screen = 0; screen < ScreenCount(other.dpy); ++screen) {
            const std::vector<::Window> order = other.stacking(screen);
            const auto lowestOurs =
                std::find_if(order.begin(), order.end(), [&](::Window w) { return ours.count(w) > 0; });
            for (auto it = lowestOurs; it != order.end(); ++it) {
                if (ours.count(*it))
                    atTheTop.insert(*it);
                else if (other.viewable(*it))
                    return ::testing::AssertionFailure() << "a window shows above";
            }
        }
        for (::Window w : ours) {
            if (!other.viewable(w)) return ::testing::AssertionFailure() << "one of the lock's windows is unmapped";
            if (!atTheTop.count(w))
                return ::testing::AssertionFailure() << "one of the lock's windows is inside another window";
        }
        if (displays->coverWindows().size() < displays->monitors().size())
            return ::testing::AssertionFailure() << "a monitor lost its cover";
        if (!other.keyboardTakenByAnother()) return ::testing::AssertionFailure() << "the keyboard is free";
        return ::testing::AssertionSuccess();
    }

    std::set<::Window> ownWindows() const {
        const std::vector<unsigned long> covers = displays->coverWindows();
        std::set<::Window> ours(covers.begin(), covers.end());
        if (!shieldLost) ours.insert(shield);
        return ours;
    }

    LockGuard guard{""};
    std::unique_ptr<X11Displays> displays;
    ::Window shield = 0;
    bool shieldLost = false;
};

struct Attack {
    const char* name;
    std::function<void(OtherClient&, const std::vector<::Window>& lockWindows, ::Window intruder)> run;
};

TEST_F(X11LockDefenceTest, AttacksOnTheCoversAreUndoneWithinOneTurn) {
    const Attack attacks[] = {
        {"unmap every top-level window",
         [](OtherClient& other, const auto&, ::Window) {
             for (::Window w : other.stacking()) XUnmapWindow(other.dpy, w);
         }},
        {"lower the lock's windows",
         [](OtherClient& other, const auto& lock, ::Window) {
             for (::Window w : lock) XLowerWindow(other.dpy, w);
         }},
        {"destroy the covers",
         [](OtherClient& other, const auto& lock, ::Window) {
             for (::Window w : lock)
                 if (other.name(w) == "Tarnwick cover") XDestroyWindow(other.dpy, w);
         }},
        {"reparent the lock's windows into another",
         [](OtherClient& other, const auto& lock, ::Window intruder) {
             for (::Window w : lock) XReparentWindow(other.dpy, w, intruder, 0, 0);
         }},
        {"raise another window",
         [](OtherClient& other, const auto&, ::Window intruder) { XRaiseWindow(other.dpy, intruder); }},
        {"stack another window right above a cover",
         [](OtherClient& other, const auto& lock, ::Window intruder) {
             XWindowChanges changes{};
             changes.sibling = lock.front();
             changes.stack_mode = Above;
             XConfigureWindow(other.dpy, intruder, CWSibling | CWStackMode, &changes);
         }},
        {"circulate the root's children down",
         [](OtherClient& other, const auto&, ::Window) {
             XCirculateSubwindowsDown(other.dpy, DefaultRootWindow(other.dpy));
         }},
        {"circulate the root's children up",
         [](OtherClient& other, const auto&, ::Window) {
             XCirculateSubwindowsUp(other.dpy, DefaultRootWindow(other.dpy));
         }},
    };
    OtherClient other;
    const ::Window intruder = other.mapOverrideRedirectWindow();
    oneTurn();
    ASSERT_TRUE(lockHolds(other));
    for (const Attack& attack : attacks) {
        // Each attack ten times in a row, as a hostile loop would.
        for (int round = 0; round < 10; ++round) {
            const std::set<::Window> ours = ownWindows();
            attack.run(other, std::vector<::Window>(ours.begin(), ours.end()), intruder);
            XMapWindow(other.dpy, intruder);
            XSync(other.dpy, False);
            oneTurn();
            ASSERT_TRUE(lockHolds(other)) << attack.name << ", round " << round;
        }
    }
    EXPECT_FALSE(shieldLost);
}

TEST_F(X11LockDefenceTest, ADestroyedShieldIsReportedToItsOwner) {
    OtherClient other;
    XDestroyWindow(other.dpy, shield);
    XSync(other.dpy, False);
    oneTurn();
    EXPECT_TRUE(shieldLost);
    EXPECT_TRUE(lockHolds(other));
}

TEST_F(X11LockDefenceTest, AMasterKeyboardAddedWhileLockedIsGrabbedAtOnce) {
    OtherClient other;
    const auto [keyboard, pointer] = other.addMasterPair("tarnwick-late");
    ASSERT_GT(keyboard, 0);
    oneTurn();
    EXPECT_TRUE(other.deviceGrabbedElsewhere(keyboard)) << "the new keyboard could type into other windows";
    other.removeMasterPair(pointer);
    oneTurn();
    EXPECT_TRUE(lockHolds(other));
}

TEST_F(X11LockDefenceTest, AGrabBrokenByTheKeyboardsUngrabActionIsTakenBack) {
    if (std::system("setxkbmap -option grab:break_actions >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "setxkbmap is not installed";
    OtherClient other;
    auto press = [&](KeySym symbol, bool down) {
        XTestFakeKeyEvent(other.dpy, XKeysymToKeycode(other.dpy, symbol), down, CurrentTime);
    };
    // Control+Alt+KP_Divide carries the server's ungrab action with this option.
    for (KeySym key : {XK_Control_L, XK_Alt_L, XK_KP_Divide}) press(key, true);
    for (KeySym key : {XK_KP_Divide, XK_Alt_L, XK_Control_L}) press(key, false);
    XSync(other.dpy, False);
    oneTurn();
    const bool holds = lockHolds(other);
    EXPECT_EQ(std::system("setxkbmap -option '' >/dev/null 2>&1"), 0);
    EXPECT_TRUE(holds);
}

TEST_F(X11LockDefenceTest, EveryScreenOfTheDisplayIsCovered) {
    OtherClient other;
    const int screens = ScreenCount(other.dpy);
    if (screens < 2) GTEST_SKIP() << "this display has one screen (the two-screen run covers the others)";
    for (int screen = 0; screen < screens; ++screen) {
        if (screen == DefaultScreen(other.dpy)) continue;
        const ::Window intruder = other.mapOverrideRedirectWindow(screen);
        oneTurn();
        const std::vector<::Window> order = other.stacking(screen);
        ASSERT_FALSE(order.empty());
        EXPECT_EQ(other.name(order.back()), "Tarnwick cover") << "screen " << screen;
        XDestroyWindow(other.dpy, intruder);
    }
}

}  // namespace
