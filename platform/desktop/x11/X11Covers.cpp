#include "platform/desktop/x11/X11Covers.h"

#include "platform/foundation/LogSink.h"

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace platform::desktop {

namespace {

long keyForScreen(int screen) { return -1L - screen; }

// A compositing manager owns this selection while it runs.
Atom compositorSelection(Display* dpy, int screen) {
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    return XInternAtom(dpy, name.c_str(), False);
}

// The children of a window, bottom first; empty when it is gone.
std::vector<::Window> childrenOf(Display* dpy, ::Window window, ::Window* parent = nullptr) {
    ::Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, window, &root, &up, &children, &count)) return {};
    std::vector<::Window> result(children, children + count);
    if (children) XFree(children);
    if (parent) *parent = up;
    return result;
}

// Whether two windows were made by the same client.
bool sameClient(Display* dpy, ::Window a, ::Window b) {
    int event = 0, error = 0, count = 0;
    if (!XResQueryExtension(dpy, &event, &error)) return false;
    XResClient* clients = nullptr;
    if (!XResQueryClients(dpy, &count, &clients)) return false;
    bool same = false;
    for (int i = 0; i < count; ++i) {
        const XID mask = ~clients[i].resource_mask;
        if ((a & mask) == clients[i].resource_base) same = (b & mask) == clients[i].resource_base;
    }
    if (clients) XFree(clients);
    return same;
}

// The process of the client that made `window`; 0 when the server cannot tell.
pid_t ownerOf(Display* dpy, ::Window window) {
    XResClientIdSpec spec{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* ids = nullptr;
    pid_t owner = 0;
    if (XResQueryClientIds(dpy, 1, &spec, &count, &ids) == Success)
        for (long i = 0; i < count; ++i)
            if (XResGetClientPid(&ids[i]) > 0) owner = XResGetClientPid(&ids[i]);
    if (ids) XResClientIdsDestroy(count, ids);
    return owner;
}

// Mapped, and able to show anything. One round trip, where Xlib's
// attributes take two: under a flood each may wait for the server's turn.
bool showsSomething(Display* dpy, ::Window window) {
    xcb_connection_t* connection = XGetXCBConnection(dpy);
    xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, static_cast<xcb_window_t>(window)), nullptr);
    const bool shows =
        reply && reply->map_state == XCB_MAP_STATE_VIEWABLE && reply->_class != XCB_WINDOW_CLASS_INPUT_ONLY;
    std::free(reply);
    return shows;
}

// A property of 32-bit items, as Xlib hands them out: in longs.
std::vector<long> longsOf(Display* dpy, ::Window window, Atom property, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> values;
    if (XGetWindowProperty(dpy, window, property, 0, 1L << 16, False, type, &actualType, &format, &count, &after,
                           &data) == Success &&
        data && actualType == type && format == 32) {
        const auto* items = reinterpret_cast<const long*>(data);
        values.assign(items, items + count);
    }
    if (data) XFree(data);
    return values;
}

}  // namespace

X11Covers::X11Covers(X11Session& session) : session_(session) {
    Display* dpy = session_.display();
    int event = 0, error = 0, major = 0, minor = 0;
    // The overlay window came with version 0.3 of the extension.
    haveComposite_ = XCompositeQueryExtension(dpy, &event, &error) && XCompositeQueryVersion(dpy, &major, &minor) &&
                     (major > 0 || minor >= 3);
    if (XFixesQueryExtension(dpy, &event, &error)) fixesEventBase_ = event;
    if (XShapeQueryExtension(dpy, &event, &error)) shapeEventBase_ = event;
    char* names[] = {const_cast<char*>("_TARNWICK_HIDDEN_SHAPE"), const_cast<char*>("_TARNWICK_HIDDEN_WINDOWS")};
    Atom atoms[2] = {None, None};
    XInternAtoms(dpy, names, 2, False, atoms);
    hiddenShapeAtom_ = atoms[0];
    hiddenListAtom_ = atoms[1];
    batchListener_ = session_.addBatchListener([this] { checkBatch(); });
    showWhatAnEarlierLockHid();
}

X11Covers::~X11Covers() {
    session_.removeBatchListener(batchListener_);
    uncoverAll();
}

void X11Covers::watchRoots(bool on) {
    Display* dpy = session_.display();
    for (int screen = 0; screen < ScreenCount(dpy); ++screen) {
        session_.selectInput(RootWindow(dpy, screen), SubstructureNotifyMask, on);
        if (fixesEventBase_ >= 0)
            XFixesSelectSelectionInput(dpy, RootWindow(dpy, screen), compositorSelection(dpy, screen),
                                       on ? XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                                XFixesSelectionClientCloseNotifyMask
                                          : 0);
    }
}

::Window X11Covers::home(int screen) const {
    const auto overlay = overlays_.find(screen);
    if (overlay != overlays_.end() && overlay->second.lockInside) return overlay->second.window;
    const auto backdrop = backdrops_.find(screen);
    if (backdrop != backdrops_.end()) return backdrop->second;
    return RootWindow(session_.display(), screen);
}

int X11Covers::overlayScreen(::Window window) const {
    for (const auto& [screen, overlay] : overlays_)
        if (overlay.window == window) return screen;
    return -1;
}

int X11Covers::backdropScreen(::Window window) const {
    for (const auto& [screen, backdrop] : backdrops_)
        if (backdrop == window) return screen;
    return -1;
}

// ---- where the lock's windows live -------------------------------------

bool X11Covers::compositorRuns(int screen) const {
    Display* dpy = session_.display();
    return XGetSelectionOwner(dpy, compositorSelection(dpy, screen)) != None;
}

bool X11Covers::wantsOverlay(int screen) const { return haveComposite_ && !compositorRuns(screen); }

void X11Covers::takeOverlay(int screen) {
    Display* dpy = session_.display();
    X11Session::ErrorTrap trap(session_);
    const ::Window overlay = XCompositeGetOverlayWindow(dpy, RootWindow(dpy, screen));
    if (trap.finish() != 0 || !overlay) return;
    Overlay& held = overlays_[screen];
    held.window = overlay;
    ++held.takes;
    held.lockInside = !compositorRuns(screen);
    // A compositing manager that ran before may have shaped or unmapped it.
    if (held.lockInside) {
        XFixesSetWindowShapeRegion(dpy, overlay, ShapeBounding, 0, 0, None);
        XMapRaised(dpy, overlay);
    }
    // The overlay window itself is watched as a child of the root.
    session_.selectInput(overlay, SubstructureNotifyMask, true);
}

void X11Covers::releaseOverlay(int screen) {
    const auto held = overlays_.find(screen);
    if (held == overlays_.end()) return;
    Display* dpy = session_.display();
    session_.selectInput(held->second.window, SubstructureNotifyMask, false);
    for (int i = 0; i < held->second.takes; ++i) XCompositeReleaseOverlayWindow(dpy, RootWindow(dpy, screen));
    overlays_.erase(held);
}

// Another client destroyed the overlay window or the backdrop, and with it
// every window of ours inside.
void X11Covers::homeLost(int screen, ::Window lost) {
    if (backdropScreen(lost) == screen) {
        backdrops_[screen] = makeBackdrop(screen);
    } else {
        // The server may still count the earlier requests: each is released.
        const Overlay gone = overlays_[screen];
        overlays_.erase(screen);
        takeOverlay(screen);
        if (overlays_.count(screen)) overlays_[screen].takes += gone.takes;
        if (!gone.lockInside) return;
    }
    for (auto& [key, cover] : covers_)
        if (cover.screen == screen) cover.window = makeCover(screen, cover.area);
    // A shield made again before this event was read could not go into the
    // destroyed window.
    if (screen == DefaultScreen(session_.display()))
        for (const auto& [shield, lost] : shields_) moveInto(shield, home(screen));
    restack();
}

// Moves a window into another parent where it keeps its place on the screen.
void X11Covers::moveInto(::Window window, ::Window wanted) {
    Display* dpy = session_.display();
    ::Window parent = 0;
    childrenOf(dpy, window, &parent);
    if (!parent || parent == wanted) return;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(dpy, window, &attributes)) return;
    int x = 0, y = 0;
    ::Window child = 0;
    XTranslateCoordinates(dpy, window, wanted, 0, 0, &x, &y, &child);
    XReparentWindow(dpy, window, wanted, x - attributes.border_width, y - attributes.border_width);
}

void X11Covers::moveScreenInto(int screen, ::Window wanted) {
    for (const auto& [key, cover] : covers_)
        if (cover.screen == screen) moveInto(cover.window, wanted);
    if (screen != DefaultScreen(session_.display())) return;
    for (const auto& [shield, lost] : shields_) moveInto(shield, wanted);
}

void X11Covers::settleHomes() {
    Display* dpy = session_.display();
    for (int screen = 0; screen < ScreenCount(dpy); ++screen) {
        bool inside = false;
        if (haveComposite_) {
            if (!overlays_.count(screen)) takeOverlay(screen);
            Overlay& held = overlays_[screen];
            inside = held.window && wantsOverlay(screen);
            if (inside && !held.lockInside) {
                XFixesSetWindowShapeRegion(dpy, held.window, ShapeBounding, 0, 0, None);
                XMapRaised(dpy, held.window);
            }
            held.lockInside = inside;
        }
        if (!inside && !backdrops_.count(screen)) backdrops_[screen] = makeBackdrop(screen);
        moveScreenInto(screen, home(screen));
        if (inside && backdrops_.count(screen)) {
            XDestroyWindow(dpy, backdrops_[screen]);
            backdrops_.erase(screen);
        }
    }
}

bool X11Covers::extensionEvent(const XEvent& event) {
    if (shapeEventBase_ >= 0 && event.type == shapeEventBase_ + ShapeNotify) {
        const auto& notify = reinterpret_cast<const XShapeEvent&>(event);
        if (!covering_ || notify.kind != ShapeBounding) return false;
        if (isOurs(notify.window)) {
            // Given its whole shape back, as made.
            if (notify.shaped)
                XShapeCombineMask(session_.display(), notify.window, ShapeBounding, 0, 0, None, ShapeSet);
            return true;
        }
        if (hidden_.count(notify.window) && notify.shaped && notify.width > 0 && notify.height > 0)
            hideAgain(notify.window);
        return hidden_.count(notify.window) > 0;
    }
    if (fixesEventBase_ < 0 || event.type != fixesEventBase_ + XFixesSelectionNotify) return false;
    const auto& notify = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
    Display* dpy = session_.display();
    bool ours = false;
    for (int screen = 0; screen < ScreenCount(dpy); ++screen)
        ours = ours || notify.selection == compositorSelection(dpy, screen);
    if (!ours) return false;
    if (covering_) {
        settleHomes();
        restack();
    }
    return true;
}

// ---- covers -------------------------------------------------------------

// A black override-redirect window, named for whoever lists windows, its
// shape watched.
::Window X11Covers::makeBlack(::Window parent, int screen, const Monitor& area, long events, const char* name,
                              const char* resourceName) {
    Display* dpy = session_.display();
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(dpy, screen);
    attributes.event_mask = events;
    const ::Window window = XCreateWindow(dpy, parent, area.x, area.y, static_cast<unsigned>(area.width),
                                          static_cast<unsigned>(area.height), 0, CopyFromParent, InputOutput,
                                          CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XStoreName(dpy, window, name);
    XClassHint hint{const_cast<char*>(resourceName), const_cast<char*>("Tarnwick")};
    XSetClassHint(dpy, window, &hint);
    watchShape(window, true);
    XMapRaised(dpy, window);
    return window;
}

::Window X11Covers::makeCover(int screen, const Monitor& area) {
    // Its own structure events reach the lock wherever another client moves it.
    return makeBlack(home(screen), screen, area, VisibilityChangeMask | StructureNotifyMask, "Tarnwick cover",
                     "tarnwick-cover");
}

::Window X11Covers::makeBackdrop(int screen) {
    Display* dpy = session_.display();
    // Its own changes, and windows another client puts into it.
    return makeBlack(RootWindow(dpy, screen), screen, {0, 0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen)},
                     StructureNotifyMask | SubstructureNotifyMask, "Tarnwick lock", "tarnwick-lock");
}

void X11Covers::cover(const std::vector<Monitor>& monitors) {
    Display* dpy = session_.display();
    if (!covering_) watchRoots(true);
    covering_ = true;
    std::map<long, Cover> wanted;
    for (const Monitor& monitor : monitors) wanted[static_cast<long>(monitor.id)] = {0, DefaultScreen(dpy), monitor};
    for (int screen = 0; screen < ScreenCount(dpy); ++screen)
        if (screen != DefaultScreen(dpy))
            wanted[keyForScreen(screen)] = {
                0, screen, {0, 0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen)}};

    for (auto it = covers_.begin(); it != covers_.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        XDestroyWindow(dpy, it->second.window);
        it = covers_.erase(it);
    }
    settleHomes();
    for (auto& [key, want] : wanted) {
        auto existing = covers_.find(key);
        if (existing == covers_.end()) {
            want.window = makeCover(want.screen, want.area);
            covers_[key] = want;
        } else if (!(existing->second.area == want.area)) {
            existing->second.area = want.area;
            XMoveResizeWindow(dpy, existing->second.window, want.area.x, want.area.y,
                              static_cast<unsigned>(want.area.width), static_cast<unsigned>(want.area.height));
        }
    }
    restack();
}

void X11Covers::uncoverAll() {
    if (!covering_) return;
    covering_ = false;
    stackDirty_ = false;
    watchRoots(false);
    Display* dpy = session_.display();
    for (const auto& [key, cover] : covers_) XDestroyWindow(dpy, cover.window);
    covers_.clear();
    // The shields outlive the lock: out of the overlay window and the
    // backdrop before they go.
    for (const auto& [shield, lost] : shields_) moveInto(shield, session_.root());
    for (const auto& [screen, backdrop] : backdrops_) XDestroyWindow(dpy, backdrop);
    backdrops_.clear();
    while (!overlays_.empty()) releaseOverlay(overlays_.begin()->first);
    showHidden();
    XSync(dpy, False);
}

std::vector<::Window> X11Covers::windows() const {
    std::vector<::Window> result;
    for (const auto& [key, cover] : covers_) result.push_back(cover.window);
    return result;
}

void X11Covers::addShield(::Window window, std::function<void()> lost) {
    shields_[window] = std::move(lost);
    // Its visibility tells when something covers it.
    session_.selectInput(window, VisibilityChangeMask | StructureNotifyMask, true);
    watchShape(window, true);
    if (!covering_) return;
    moveInto(window, home(DefaultScreen(session_.display())));
    restack();
}

void X11Covers::removeShield(::Window window) {
    if (!shields_.erase(window)) return;
    // Its owner keeps it, so it must not be inside an overlay window when
    // that goes away.
    if (overlays_.count(DefaultScreen(session_.display()))) moveInto(window, session_.root());
}

X11Covers::Cover* X11Covers::coverWith(::Window window) {
    for (auto& [key, cover] : covers_)
        if (cover.window == window) return &cover;
    return nullptr;
}

// ---- answers to other clients -------------------------------------------

bool X11Covers::unmapped(::Window window) {
    if (!covering_) return false;
    if (overlayScreen(window) < 0 && backdropScreen(window) < 0 && !coverWith(window) && !shields_.count(window))
        return false;
    XMapRaised(session_.display(), window);
    stackingChanged();
    return true;
}

bool X11Covers::destroyed(::Window window) {
    hidden_.erase(window);
    for (const int screen : {overlayScreen(window), backdropScreen(window)}) {
        if (screen < 0) continue;
        if (covering_) homeLost(screen, window);
        return true;
    }
    if (auto shield = shields_.find(window); shield != shields_.end()) {
        auto lost = std::move(shield->second);
        shields_.erase(shield);
        if (covering_ && lost) lost();
        return true;
    }
    Cover* cover = coverWith(window);
    if (!cover) return false;
    if (covering_) {
        cover->window = makeCover(cover->screen, cover->area);
        restack();
    }
    return true;
}

bool X11Covers::reparented(::Window window, ::Window parent, int x, int y) {
    if (!covering_) return false;
    Display* dpy = session_.display();
    for (const int screen : {overlayScreen(window), backdropScreen(window)}) {
        if (screen < 0) continue;
        if (parent != RootWindow(dpy, screen)) XReparentWindow(dpy, window, RootWindow(dpy, screen), 0, 0);
        XMapRaised(dpy, window);
        stackingChanged();
        return true;
    }
    Cover* cover = coverWith(window);
    if (!cover && !shields_.count(window)) return false;
    const int screen = cover ? cover->screen : DefaultScreen(dpy);
    const ::Window wanted = home(screen);
    if (parent == wanted) return true;
    // Inside another client's window it covers only that window.
    int homeX = x, homeY = y;
    ::Window child = 0;
    XTranslateCoordinates(dpy, parent, wanted, x, y, &homeX, &homeY, &child);
    if (cover) homeX = cover->area.x, homeY = cover->area.y;
    XReparentWindow(dpy, window, wanted, homeX, homeY);
    XMapRaised(dpy, window);
    restack();
    return true;
}

// ---- stacking -----------------------------------------------------------

void X11Covers::stackingChanged() {
    if (covering_) stackDirty_ = true;
}

void X11Covers::checkBatch() {
    if (!stackDirty_) return;
    stackDirty_ = false;
    keepOnTop();
}

bool X11Covers::stackIsRight(::Window parent) const {
    std::set<::Window> ours;
    for (const auto& [key, cover] : covers_) ours.insert(cover.window);
    for (const auto& [shield, lost] : shields_) ours.insert(shield);
    // Ours must be the topmost children; anything of another client above
    // the lowest of them shows.
    bool seenOurs = false;
    for (::Window child : childrenOf(session_.display(), parent)) {
        if (ours.count(child))
            seenOurs = true;
        else if (seenOurs)
            return false;
    }
    return true;
}

bool X11Covers::spansScreen(int screen, ::Window window) const {
    Display* dpy = session_.display();
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(dpy, window, &attributes)) return false;
    return attributes.map_state == IsViewable && attributes.x <= 0 && attributes.y <= 0 &&
           attributes.width >= DisplayWidth(dpy, screen) && attributes.height >= DisplayHeight(dpy, screen);
}

bool X11Covers::overlayIsRight(int screen, ::Window overlay) const {
    if (!spansScreen(screen, overlay)) return false;
    // Above every other child of the root the server leaves it out of the
    // root's children; lowered, it is one of them.
    Display* dpy = session_.display();
    const std::vector<::Window> children = childrenOf(dpy, RootWindow(dpy, screen));
    const auto found = std::find(children.begin(), children.end(), overlay);
    return found == children.end() || found + 1 == children.end();
}

bool X11Covers::backdropIsRight(int screen, ::Window backdrop) const {
    ::Window parent = 0;
    childrenOf(session_.display(), backdrop, &parent);
    return parent == RootWindow(session_.display(), screen) && spansScreen(screen, backdrop);
}

// Nothing but the lock belongs in its home: a window another client put
// into the overlay window or the backdrop moves to the root, below the
// overlay window, or above the backdrop, where it is hidden.
void X11Covers::evictStrangers(int screen, ::Window home) {
    Display* dpy = session_.display();
    const ::Window compositor = XGetSelectionOwner(dpy, compositorSelection(dpy, screen));
    for (::Window child : childrenOf(dpy, home)) {
        if (coverWith(child) || shields_.count(child)) continue;
        // Some compositing managers paint into a window of their own there.
        if (compositor != None && sameClient(dpy, child, compositor)) continue;
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(dpy, child, &attributes)) continue;
        XReparentWindow(dpy, child, RootWindow(dpy, screen), attributes.x, attributes.y);
    }
}

bool X11Covers::trusted(::Window window) const {
    const pid_t owner = ownerOf(session_.display(), window);
    return owner > 0 && trusted_ && trusted_(owner);
}

// Whatever shows above the backdrop is hidden, but for the windows of the
// application and its guard; answers whether one of those is above it.
// Without the Shape extension nothing can be hidden, and the backdrop is
// raised over everything, as often as need be.
bool X11Covers::hideWhatIsAbove(int screen, ::Window backdrop) {
    Display* dpy = session_.display();
    const std::vector<::Window> children = childrenOf(dpy, RootWindow(dpy, screen));
    auto above = std::find(children.begin(), children.end(), backdrop);
    if (above == children.end()) return true;
    bool raise = false;
    for (++above; above != children.end(); ++above) {
        if (hidden_.count(*above) || overlayScreen(*above) >= 0 || !showsSomething(dpy, *above)) continue;
        if (shapeEventBase_ < 0 || trusted(*above))
            raise = true;
        else
            hide(*above);
    }
    return raise;
}

void X11Covers::hide(::Window window) {
    Display* dpy = session_.display();
    HiddenShape original;
    int count = 0, ordering = 0;
    Bool boundingShaped = False, clipShaped = False;
    int x = 0, y = 0, cx = 0, cy = 0;
    unsigned width = 0, height = 0, cw = 0, ch = 0;
    if (XShapeQueryExtents(dpy, window, &boundingShaped, &x, &y, &width, &height, &clipShaped, &cx, &cy, &cw, &ch) &&
        boundingShaped) {
        original.shaped = true;
        if (XRectangle* rectangles = XShapeGetRectangles(dpy, window, ShapeBounding, &count, &ordering)) {
            original.rectangles.assign(rectangles, rectangles + count);
            XFree(rectangles);
        }
    }
    record(window, original);
    hidden_[window] = std::move(original);
    char line[128];
    std::snprintf(line, sizeof line,
                  "Tarnwick: window 0x%lx of another program got above the lock: hidden until the unlock", window);
    LogSink::write(line);
    watchShape(window, true);
    XShapeCombineRectangles(dpy, window, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
}

// Its owner gave it a shape of its own: that is the one to give back.
void X11Covers::hideAgain(::Window window) {
    hidden_.erase(window);
    hide(window);
}

void X11Covers::showHidden() {
    if (hidden_.empty()) return;
    // Some may be gone by now.
    X11Session::ErrorTrap trap(session_);
    for (const auto& [window, original] : hidden_) {
        watchShape(window, false);
        giveShapeBack(window, original);
    }
    hidden_.clear();
    XDeleteProperty(session_.display(), session_.root(), hiddenListAtom_);
}

// The shape is written on the hidden window and the window into a list on
// the root, so that should the application die while locked, the next one
// to start gives the shapes back.
void X11Covers::record(::Window window, const HiddenShape& original) {
    Display* dpy = session_.display();
    std::vector<long> values{original.shaped ? 1L : 0L};
    for (const XRectangle& r : original.rectangles) values.insert(values.end(), {r.x, r.y, r.width, r.height});
    XChangeProperty(dpy, window, hiddenShapeAtom_, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
    const long id = static_cast<long>(window);
    XChangeProperty(dpy, session_.root(), hiddenListAtom_, XA_WINDOW, 32, PropModeAppend,
                    reinterpret_cast<const unsigned char*>(&id), 1);
}

void X11Covers::giveShapeBack(::Window window, const HiddenShape& original) {
    Display* dpy = session_.display();
    if (!original.shaped)
        XShapeCombineMask(dpy, window, ShapeBounding, 0, 0, None, ShapeSet);
    else
        XShapeCombineRectangles(dpy, window, ShapeBounding, 0, 0, const_cast<XRectangle*>(original.rectangles.data()),
                                static_cast<int>(original.rectangles.size()), ShapeSet, Unsorted);
    XDeleteProperty(dpy, window, hiddenShapeAtom_);
}

// What an application that died while locked left hidden.
void X11Covers::showWhatAnEarlierLockHid() {
    Display* dpy = session_.display();
    const std::vector<long> windows = longsOf(dpy, session_.root(), hiddenListAtom_, XA_WINDOW);
    if (windows.empty()) return;
    X11Session::ErrorTrap trap(session_);
    for (long id : windows) {
        const auto window = static_cast<::Window>(id);
        const std::vector<long> values = longsOf(dpy, window, hiddenShapeAtom_, XA_CARDINAL);
        if (values.empty()) continue;
        HiddenShape original{values[0] != 0, {}};
        for (std::size_t i = 1; i + 3 < values.size(); i += 4)
            original.rectangles.push_back({static_cast<short>(values[i]), static_cast<short>(values[i + 1]),
                                           static_cast<unsigned short>(values[i + 2]),
                                           static_cast<unsigned short>(values[i + 3])});
        giveShapeBack(window, original);
    }
    XDeleteProperty(dpy, session_.root(), hiddenListAtom_);
}

bool X11Covers::isOurs(::Window window) const {
    for (const auto& [key, cover] : covers_)
        if (cover.window == window) return true;
    if (shields_.count(window) || backdropScreen(window) >= 0) return true;
    const int screen = overlayScreen(window);
    return screen >= 0 && overlays_.at(screen).lockInside;
}

void X11Covers::watchShape(::Window window, bool on) {
    if (shapeEventBase_ >= 0) XShapeSelectInput(session_.display(), window, on ? ShapeNotifyMask : 0);
}

void X11Covers::keepOnTop() {
    if (!covering_) return;
    bool right = true;
    for (int screen = 0; screen < ScreenCount(session_.display()); ++screen) {
        // What shows above a backdrop is hidden first; the rest can wait.
        const auto backdrop = backdrops_.find(screen);
        if (backdrop != backdrops_.end()) right = !hideWhatIsAbove(screen, backdrop->second) && right;
        const auto overlay = overlays_.find(screen);
        if (overlay != overlays_.end()) {
            evictStrangers(screen, overlay->second.window);
            if (overlay->second.lockInside) right = right && overlayIsRight(screen, overlay->second.window);
        }
        if (backdrop != backdrops_.end()) {
            evictStrangers(screen, backdrop->second);
            right = right && backdropIsRight(screen, backdrop->second);
        }
        right = right && stackIsRight(home(screen));
    }
    if (!right) restack();
}

void X11Covers::restack() {
    Display* dpy = session_.display();
    for (const auto& [screen, overlay] : overlays_) {
        if (!overlay.lockInside) continue;
        XMoveResizeWindow(dpy, overlay.window, 0, 0, static_cast<unsigned>(DisplayWidth(dpy, screen)),
                          static_cast<unsigned>(DisplayHeight(dpy, screen)));
        XMapRaised(dpy, overlay.window);
    }
    for (const auto& [screen, backdrop] : backdrops_) {
        XMoveResizeWindow(dpy, backdrop, 0, 0, static_cast<unsigned>(DisplayWidth(dpy, screen)),
                          static_cast<unsigned>(DisplayHeight(dpy, screen)));
        XMapRaised(dpy, backdrop);
    }
    for (const auto& [key, cover] : covers_) XRaiseWindow(dpy, cover.window);
    for (const auto& [shield, lost] : shields_) XRaiseWindow(dpy, shield);
    XFlush(dpy);
}

}  // namespace platform::desktop
