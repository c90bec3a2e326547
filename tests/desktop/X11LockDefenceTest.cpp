#include <gtest/gtest.h>

#include "desktop/X11SessionTest.h"
#include "desktop/X11TestClients.h"

#include "QtTestApplication.h"

#include "platform/desktop/LockGuard.h"
#include "platform/desktop/x11/X11Displays.h"
#include "platform/desktop/x11/X11Session.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/shape.h>
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

static bool operator==(const XRectangle& a, const XRectangle& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

namespace {

class X11LockDefenceTest : public X11SessionTest {
protected:
    void SetUp() override {
        X11SessionTest::SetUp();
        if (!sessionReady()) return;
        displays = std::make_unique<X11Displays>(*session, guard);
        for (const Monitor& monitor : displays->monitors()) ASSERT_EQ(displays->capture(monitor.id, 0), 0);
        makeShield();
        oneTurn();
    }
    void TearDown() override {
        displays.reset();
        X11SessionTest::TearDown();
    }

    // A window of the application's own that belongs above the covers, as
    // the lock window does; like the lock window, it is made again when
    // another client destroys it.
    void makeShield() {
        Display* dpy = session->display();
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        shield = XCreateWindow(dpy, session->root(), 100, 100, 200, 100, 0, CopyFromParent, InputOutput, CopyFromParent,
                               CWOverrideRedirect, &attributes);
        XMapRaised(dpy, shield);
        displays->addShieldWindow(shield, [this] {
            ++shieldsLost;
            makeShield();
        });
    }

    // What the application's event loop does with the events of one turn:
    // every event read, then the stacking looked at once.
    void oneTurn() {
        XSync(session->display(), False);
        session->pump();
        QCoreApplication::processEvents();
        XSync(session->display(), False);
    }

    // On every screen: the lock's windows are mapped children of the root,
    // of the overlay window or of the lock's backdrop, and nothing of
    // another client shows above any of them; the keyboard is still grabbed.
    ::testing::AssertionResult lockHolds(OtherClient& other) {
        const std::set<::Window> ours = ownWindows();
        std::set<::Window> homes;
        for (int screen = 0; screen < ScreenCount(other.dpy); ++screen) {
            homes.insert(RootWindow(other.dpy, screen));
            if (other.hasComposite()) homes.insert(other.overlay(screen));
            for (::Window w : other.stacking(screen))
                if (other.name(w) == "Tarnwick lock") homes.insert(w);
        }
        std::set<::Window> parents;
        for (::Window w : ours) {
            if (!other.viewable(w)) return ::testing::AssertionFailure() << "one of the lock's windows is unmapped";
            const ::Window parent = other.parentOf(w);
            if (!homes.count(parent))
                return ::testing::AssertionFailure() << "one of the lock's windows is inside another window";
            parents.insert(parent);
        }
        for (::Window parent : parents) {
            XWindowAttributes attributes{};
            XGetWindowAttributes(other.dpy, parent, &attributes);
            if (attributes.x > 0 || attributes.y > 0 || attributes.width < WidthOfScreen(attributes.screen) ||
                attributes.height < HeightOfScreen(attributes.screen))
                return ::testing::AssertionFailure() << "the overlay window no longer spans the screen";
        }
        homes.insert(parents.begin(), parents.end());
        for (::Window home : homes)
            for (::Window w : other.children(home)) {
                if (ours.count(w) || homes.count(w) || !other.shows(w)) continue;
                for (::Window mine : ours)
                    if (other.above(w, mine)) return ::testing::AssertionFailure() << "a window shows above";
            }
        if (displays->coverWindows().size() < displays->monitors().size())
            return ::testing::AssertionFailure() << "a monitor lost its cover";
        if (!other.keyboardTakenByAnother()) return ::testing::AssertionFailure() << "the keyboard is free";
        return ::testing::AssertionSuccess();
    }

    std::set<::Window> ownWindows() const {
        const std::vector<unsigned long> covers = displays->coverWindows();
        std::set<::Window> ours(covers.begin(), covers.end());
        ours.insert(shield);
        return ours;
    }

    LockGuard guard{""};
    std::unique_ptr<X11Displays> displays;
    ::Window shield = 0;
    int shieldsLost = 0;
};

struct Attack {
    const char* name;
    std::function<void(OtherClient&, const std::vector<::Window>& lockWindows, ::Window intruder)> run;
    // Only where the lock's windows live in the overlay window.
    bool needsOverlay = false;
    // The lock window goes with it, and is made again.
    bool destroysTheShield = false;
};

TEST_F(X11LockDefenceTest, AttacksOnTheCoversAreUndoneWithinOneTurn) {
    ::Window overlayChild = 0;
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
        {"raise a child of the overlay window",
         [&overlayChild](OtherClient& other, const auto&, ::Window) {
             if (!overlayChild) overlayChild = other.mapOverrideRedirectWindow(-1, other.overlay());
             for (int i = 0; i < 100; ++i) XRaiseWindow(other.dpy, overlayChild);
         },
         true},
        {"lower the overlay window",
         [](OtherClient& other, const auto&, ::Window) { XLowerWindow(other.dpy, other.overlay()); }, true},
        {"unmap the overlay window",
         [](OtherClient& other, const auto&, ::Window) { XUnmapWindow(other.dpy, other.overlay()); }, true},
        {"shrink the overlay window",
         [](OtherClient& other, const auto&, ::Window) {
             XMoveResizeWindow(other.dpy, other.overlay(), 50, 50, 10, 10);
         },
         true},
        {"destroy the overlay window",
         [](OtherClient& other, const auto&, ::Window) { XDestroyWindow(other.dpy, other.overlay()); }, true, true},
    };
    OtherClient other;
    const ::Window intruder = other.mapOverrideRedirectWindow();
    oneTurn();
    ASSERT_TRUE(lockHolds(other));
    if (other.hasComposite()) {
        ASSERT_EQ(other.parentOf(shield), other.overlay()) << "the lock lives in the overlay window";
    }
    for (const Attack& attack : attacks) {
        if (attack.needsOverlay && !other.hasComposite()) continue;
        const int lostBefore = shieldsLost;
        // Each attack ten times in a row, as a hostile loop would.
        for (int round = 0; round < 10; ++round) {
            const std::set<::Window> ours = ownWindows();
            attack.run(other, std::vector<::Window>(ours.begin(), ours.end()), intruder);
            XMapRaised(other.dpy, intruder);
            XSync(other.dpy, False);
            oneTurn();
            ASSERT_TRUE(lockHolds(other)) << attack.name << ", round " << round;
        }
        EXPECT_EQ(shieldsLost > lostBefore, attack.destroysTheShield) << attack.name;
    }
}

// Without the overlay window the lock does not race a raise: a window of
// another process above the backdrop is shaped to nothing, and gets its
// shape back at the unlock, or, should the application die while locked,
// when the next one starts (from what is written on the window and the root).
TEST_F(X11LockDefenceTest, AWindowAboveTheBackdropIsHiddenUntilTheUnlock) {
    OtherClient other;
    if (other.hasComposite()) GTEST_SKIP() << "the lock lives in the overlay window (the run without Composite hides)";
    displays->trustProcesses([](pid_t) { return false; });
    const ::Window plain = other.mapOverrideRedirectWindow();
    const ::Window shaped = other.mapOverrideRedirectWindow();
    XRectangle corner{0, 0, 50, 40};
    XShapeCombineRectangles(other.dpy, shaped, ShapeBounding, 0, 0, &corner, 1, ShapeSet, Unsorted);
    for (int round = 0; round < 3; ++round) {
        for (::Window w : {plain, shaped}) XRaiseWindow(other.dpy, w);
        XSync(other.dpy, False);
        oneTurn();
        ASSERT_TRUE(lockHolds(other)) << "round " << round;
        EXPECT_FALSE(other.shows(plain) || other.shows(shaped)) << "round " << round;
    }
    const auto recorded = [&] {
        std::vector<std::vector<unsigned char>> values;
        for (auto [window, name] :
             {std::pair{other.root(), "_TARNWICK_HIDDEN_WINDOWS"}, std::pair{plain, "_TARNWICK_HIDDEN_SHAPE"},
              std::pair{shaped, "_TARNWICK_HIDDEN_SHAPE"}})
            values.push_back(other.property(window, name));
        return values;
    }();
    auto shapeOf = [&](::Window w) { return other.boundingRectangles(w); };
    displays->releaseAll();
    EXPECT_TRUE(other.shows(plain) && other.shows(shaped)) << "the unlock gives the shapes back";
    EXPECT_EQ(shapeOf(shaped), std::vector<XRectangle>{corner});

    // As a lock that died would leave them.
    for (::Window w : {plain, shaped})
        XShapeCombineRectangles(other.dpy, w, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    other.setProperty(other.root(), "_TARNWICK_HIDDEN_WINDOWS", XA_WINDOW, recorded[0]);
    other.setProperty(plain, "_TARNWICK_HIDDEN_SHAPE", XA_CARDINAL, recorded[1]);
    other.setProperty(shaped, "_TARNWICK_HIDDEN_SHAPE", XA_CARDINAL, recorded[2]);
    displays.reset();
    displays = std::make_unique<X11Displays>(*session, guard);
    XSync(other.dpy, False);
    EXPECT_TRUE(other.shows(plain) && other.shows(shaped)) << "the next start gives the shapes back";
    EXPECT_EQ(shapeOf(shaped), std::vector<XRectangle>{corner});
    EXPECT_TRUE(other.property(other.root(), "_TARNWICK_HIDDEN_WINDOWS").empty());
}

TEST_F(X11LockDefenceTest, ADestroyedShieldIsReportedToItsOwner) {
    OtherClient other;
    const ::Window destroyed = shield;
    XDestroyWindow(other.dpy, destroyed);
    XSync(other.dpy, False);
    oneTurn();
    EXPECT_EQ(shieldsLost, 1);
    EXPECT_NE(shield, destroyed);
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
        const std::vector<unsigned long> covers = displays->coverWindows();
        const auto cover = std::find_if(covers.begin(), covers.end(), [&](::Window w) {
            return other.lineage(w).front() == RootWindow(other.dpy, screen);
        });
        ASSERT_NE(cover, covers.end()) << "screen " << screen;
        EXPECT_EQ(other.name(*cover), "Tarnwick cover");
        EXPECT_TRUE(other.above(*cover, intruder)) << "screen " << screen;
        XDestroyWindow(other.dpy, intruder);
    }
}

}  // namespace
