#pragma once

#include <QTimer>

#include "platform/desktop/x11/X11Monitors.h"
#include "platform/desktop/x11/X11Session.h"

#include <functional>
#include <map>
#include <vector>

namespace platform::desktop {

// The black windows that cover every monitor of the default screen and the
// whole of every other screen of the display while the lock stands, and the
// application's own windows that belong above them (the lock window: the
// shields).
//
// Where the Composite extension is at hand and no compositing manager paints
// the screen, both live in each screen's composite overlay window, which the
// server keeps above every child of the root: no raise, circulate or stacking
// request on an ordinary window reaches above it. Where a compositing manager
// runs it paints the root's children into that overlay window over anything
// in it, so there, as without Composite, the lock's windows are children of
// the root.
//
// Either way any client may unmap, lower, reparent or destroy any window,
// the overlay window included, and may put children of its own into the
// overlay window; those of any client but the compositing manager are moved
// out to the root. Unmapped, reparented and destroyed windows are answered
// at once; stacking changes are checked once per turn of the event loop,
// after every event that arrived with them, so that a flood of them costs
// one look at the stacks and at most one restack per turn.
class X11Covers {
public:
    explicit X11Covers(X11Session& session);
    ~X11Covers();

    // Covers the monitors given and every other screen, moving, making or
    // removing covers as the monitors changed; from the first call on,
    // the stacking of every screen is watched.
    void cover(const std::vector<Monitor>& monitors);
    void uncoverAll();
    bool covering() const { return covering_; }
    std::vector<::Window> windows() const;
    // The window whose children the lock's windows on this screen are: its
    // overlay window, or its root.
    ::Window home(int screen) const;

    // `lost` runs when a shield is destroyed by someone else, so that its
    // owner can make a new one.
    void addShield(::Window window, std::function<void()> lost);
    void removeShield(::Window window);

    // Event reactions; each answers whether the window was one of ours.
    bool unmapped(::Window window);
    bool destroyed(::Window window);
    bool reparented(::Window window, ::Window parent, int x, int y);
    // Something moved in a stack the lock watches: the stacks are looked at
    // once the events at hand are read.
    void stackingChanged();
    // Answers whether the event told of a compositing manager that started
    // or ended; the lock's windows then move to where they show.
    bool compositorEvent(const XEvent& event);
    // Puts the overlay windows, the covers and then the shields back on top
    // of every screen if another window got above any of them.
    void keepOnTop();

private:
    struct Cover {
        ::Window window = 0;
        int screen = 0;
        Monitor area;
    };
    struct Overlay {
        ::Window window = 0;
        // Each request for the overlay window counts; it goes away after as
        // many releases.
        int takes = 0;
        // Whether the lock's windows live in it; while a compositing manager
        // paints it they do not, and it is only kept clear of strangers.
        bool lockInside = false;
    };
    ::Window makeCover(int screen, const Monitor& area);
    void restack();
    bool stackIsRight(::Window parent) const;
    bool overlayIsRight(int screen, ::Window overlay) const;
    void evictStrangers(int screen, ::Window overlay);
    std::vector<::Window> roots() const;
    void watchRoots(bool on);
    Cover* coverWith(::Window window);
    int overlayScreen(::Window window) const;

    bool wantsOverlay(int screen) const;
    bool compositorRuns(int screen) const;
    void takeOverlay(int screen);
    void releaseOverlay(int screen);
    void settleHomes();
    void moveInto(::Window window, ::Window parent);
    void moveScreenInto(int screen, ::Window parent);
    void overlayLost(int screen);

    X11Session& session_;
    bool covering_ = false;
    bool haveComposite_ = false;
    int fixesEventBase_ = -1;
    // Keyed by monitor on the default screen; other screens use their
    // screen number as a negative key.
    std::map<long, Cover> covers_;
    std::map<::Window, std::function<void()>> shields_;
    // By screen, while covering.
    std::map<int, Overlay> overlays_;
    QTimer stackCheck_;
};

}  // namespace platform::desktop
