#pragma once

#include "platform/desktop/x11/X11Monitors.h"
#include "platform/desktop/x11/X11Session.h"

#include <functional>
#include <map>
#include <vector>

namespace platform::desktop {

// The black windows that cover every monitor of the default screen and the
// whole of every other screen of the display while the lock stands, and the
// application's own windows that belong above them (the lock window: the
// shields). Any client may unmap, lower or destroy any window, so every
// such change is undone as soon as its event arrives: covers are mapped or
// made again, and whenever a window that is not ours sits above one of ours
// the stack is put back.
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

    // `lost` runs when a shield is destroyed by someone else, so that its
    // owner can make a new one.
    void addShield(::Window window, std::function<void()> lost);
    void removeShield(::Window window);

    // Event reactions; each answers whether the window was one of ours.
    bool unmapped(::Window window);
    bool destroyed(::Window window);
    bool reparented(::Window window, ::Window parent, int x, int y);
    // Puts the covers and then the shields back on top of every screen
    // if another window got above any of them.
    void keepOnTop();

private:
    struct Cover {
        ::Window window = 0;
        int screen = 0;
        Monitor area;
    };
    ::Window makeCover(int screen, const Monitor& area);
    void restack();
    bool stackIsRight(::Window root) const;
    std::vector<::Window> roots() const;
    void watchRoots(bool on);
    Cover* coverWith(::Window window);

    X11Session& session_;
    bool covering_ = false;
    // Keyed by monitor on the default screen; other screens use their
    // screen number as a negative key.
    std::map<long, Cover> covers_;
    std::map<::Window, std::function<void()>> shields_;
};

}  // namespace platform::desktop
