#pragma once

#include "platform/desktop/x11/X11Monitors.h"
#include "platform/desktop/x11/X11Session.h"

#include <functional>
#include <map>
#include <sys/types.h>
#include <vector>

namespace platform::desktop {

// The black windows that cover every monitor of the default screen and the
// whole of every other screen of the display while the lock stands, and the
// application's own windows that belong above them (the lock window: the
// shields).
//
// Where the Composite extension is at hand and no compositing manager paints
// the screen, they live in each screen's composite overlay window, which the
// server keeps above every child of the root: no raise, circulate or stacking
// request on an ordinary window reaches above it. Elsewhere (no Composite, or
// a compositing manager that paints the root's children into the overlay
// window over anything inside it) they live in a backdrop: a black window of
// the lock's own, as large as the screen, among the root's children. There a
// raise always wins for whoever makes it last, so the lock does not take part
// in that race: a window of another process that gets above the backdrop is
// hidden instead (its bounding shape set to nothing, which no raise or
// circulation undoes) and gets its shape back at the unlock. Windows of the
// application itself and of its guard are not hidden; the backdrop is raised
// above them.
//
// Any client may unmap, lower, reparent, reshape or destroy any window, the
// overlay window and the backdrop included, and may put children of its own
// into them; those of any client but the compositing manager are moved out
// to the root. Unmapped, reparented and destroyed windows are answered at
// once; stacking changes once per batch of events the connection reads,
// after every event of the batch, so that a flood of them costs one look at
// the stacks per batch and leaves the event loop free in between.
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
    // overlay window, its backdrop, or (while not covering) its root.
    ::Window home(int screen) const;

    // Windows of these processes are never hidden (the application's own,
    // its guard's): the lock is raised above them instead.
    void trustProcesses(std::function<bool(pid_t)> trusted) { trusted_ = std::move(trusted); }

    // `lost` runs when a shield is destroyed by someone else, so that its
    // owner can make a new one.
    void addShield(::Window window, std::function<void()> lost);
    void removeShield(::Window window);

    // Event reactions; each answers whether the window was one of ours.
    bool unmapped(::Window window);
    bool destroyed(::Window window);
    bool reparented(::Window window, ::Window parent, int x, int y);
    // Something moved in a stack the lock watches: the stacks are looked at
    // once the batch of events at hand is read.
    void stackingChanged();
    // Answers whether the event told of a compositing manager that started
    // or ended (the lock's windows then move to where they show) or of a
    // changed shape (a window of the lock's is given its whole shape back, a
    // hidden one is hidden again).
    bool extensionEvent(const XEvent& event);
    // Hides what shows above the backdrops, and puts the homes, the covers
    // and then the shields back on top of every screen if another window of
    // the application or its guard got above any of them.
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
    // The bounding shape a hidden window had, given back at the unlock.
    struct HiddenShape {
        bool shaped = false;
        std::vector<XRectangle> rectangles;
    };
    ::Window makeBlack(::Window parent, int screen, const Monitor& area, long events, const char* name,
                       const char* resourceName);
    ::Window makeCover(int screen, const Monitor& area);
    ::Window makeBackdrop(int screen);
    void restack();
    bool stackIsRight(::Window parent) const;
    bool spansScreen(int screen, ::Window window) const;
    bool overlayIsRight(int screen, ::Window overlay) const;
    bool backdropIsRight(int screen, ::Window backdrop) const;
    void evictStrangers(int screen, ::Window home);
    bool hideWhatIsAbove(int screen, ::Window backdrop);
    bool trusted(::Window window) const;
    void hide(::Window window);
    void hideAgain(::Window window);
    void showHidden();
    void record(::Window window, const HiddenShape& original);
    void giveShapeBack(::Window window, const HiddenShape& original);
    void showWhatAnEarlierLockHid();
    bool isOurs(::Window window) const;
    void watchShape(::Window window, bool on);
    void watchRoots(bool on);
    Cover* coverWith(::Window window);
    int overlayScreen(::Window window) const;
    int backdropScreen(::Window window) const;
    void checkBatch();

    bool wantsOverlay(int screen) const;
    bool compositorRuns(int screen) const;
    void takeOverlay(int screen);
    void releaseOverlay(int screen);
    void settleHomes();
    void moveInto(::Window window, ::Window parent);
    void moveScreenInto(int screen, ::Window parent);
    void homeLost(int screen, ::Window lost);

    X11Session& session_;
    bool covering_ = false;
    bool haveComposite_ = false;
    int fixesEventBase_ = -1;
    int shapeEventBase_ = -1;
    // Keyed by monitor on the default screen; other screens use their
    // screen number as a negative key.
    std::map<long, Cover> covers_;
    std::map<::Window, std::function<void()>> shields_;
    // By screen, while covering.
    std::map<int, Overlay> overlays_;
    std::map<int, ::Window> backdrops_;
    std::map<::Window, HiddenShape> hidden_;
    Atom hiddenShapeAtom_ = None;
    Atom hiddenListAtom_ = None;
    std::function<bool(pid_t)> trusted_;
    bool stackDirty_ = false;
    int batchListener_ = 0;
};

}  // namespace platform::desktop
