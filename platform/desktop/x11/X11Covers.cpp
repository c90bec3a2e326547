#include "platform/desktop/x11/X11Covers.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>
#include <algorithm>
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

}  // namespace

X11Covers::X11Covers(X11Session& session) : session_(session) {
    Display* dpy = session_.display();
    int event = 0, error = 0, major = 0, minor = 0;
    // The overlay window came with version 0.3 of the extension.
    haveComposite_ = XCompositeQueryExtension(dpy, &event, &error) && XCompositeQueryVersion(dpy, &major, &minor) &&
                     (major > 0 || minor >= 3);
    if (XFixesQueryExtension(dpy, &event, &error)) fixesEventBase_ = event;
    stackCheck_.setSingleShot(true);
    stackCheck_.setInterval(0);
    QObject::connect(&stackCheck_, &QTimer::timeout, [this] { keepOnTop(); });
}

X11Covers::~X11Covers() { uncoverAll(); }

std::vector<::Window> X11Covers::roots() const {
    std::vector<::Window> result;
    result.reserve(ScreenCount(session_.display()));
    for (int screen = 0; screen < ScreenCount(session_.display()); ++screen)
        result.push_back(RootWindow(session_.display(), screen));
    return result;
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
    return RootWindow(session_.display(), screen);
}

int X11Covers::overlayScreen(::Window window) const {
    for (const auto& [screen, overlay] : overlays_)
        if (overlay.window == window) return screen;
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

void X11Covers::overlayLost(int screen) {
    // Another client destroyed it, and with it every window of ours inside.
    // The server may still count the earlier requests: each is released.
    const Overlay lost = overlays_[screen];
    overlays_.erase(screen);
    takeOverlay(screen);
    if (overlays_.count(screen)) overlays_[screen].takes += lost.takes;
    if (!lost.lockInside) return;
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
        if (!haveComposite_) continue;
        if (!overlays_.count(screen)) takeOverlay(screen);
        Overlay& held = overlays_[screen];
        const bool inside = wantsOverlay(screen);
        if (inside && !held.lockInside) {
            XFixesSetWindowShapeRegion(dpy, held.window, ShapeBounding, 0, 0, None);
            XMapRaised(dpy, held.window);
        }
        held.lockInside = inside;
        moveScreenInto(screen, home(screen));
    }
}

bool X11Covers::compositorEvent(const XEvent& event) {
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

::Window X11Covers::makeCover(int screen, const Monitor& area) {
    Display* dpy = session_.display();
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(dpy, screen);
    // Its own structure events reach the lock wherever another client moves it.
    attributes.event_mask = VisibilityChangeMask | StructureNotifyMask;
    const ::Window cover = XCreateWindow(dpy, home(screen), area.x, area.y, static_cast<unsigned>(area.width),
                                         static_cast<unsigned>(area.height), 0, CopyFromParent, InputOutput,
                                         CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XStoreName(dpy, cover, "Tarnwick cover");
    XClassHint hint{const_cast<char*>("tarnwick-cover"), const_cast<char*>("Tarnwick")};
    XSetClassHint(dpy, cover, &hint);
    XMapRaised(dpy, cover);
    return cover;
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
    stackCheck_.stop();
    watchRoots(false);
    Display* dpy = session_.display();
    for (const auto& [key, cover] : covers_) XDestroyWindow(dpy, cover.window);
    covers_.clear();
    // The shields outlive the lock: out of the overlay window before it goes.
    for (const auto& [shield, lost] : shields_) moveInto(shield, session_.root());
    while (!overlays_.empty()) releaseOverlay(overlays_.begin()->first);
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
    if (overlayScreen(window) < 0 && !coverWith(window) && !shields_.count(window)) return false;
    XMapRaised(session_.display(), window);
    stackingChanged();
    return true;
}

bool X11Covers::destroyed(::Window window) {
    if (const int screen = overlayScreen(window); screen >= 0) {
        if (covering_) overlayLost(screen);
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
    if (const int screen = overlayScreen(window); screen >= 0) {
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
    if (covering_ && !stackCheck_.isActive()) stackCheck_.start();
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

bool X11Covers::overlayIsRight(int screen, ::Window overlay) const {
    Display* dpy = session_.display();
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(dpy, overlay, &attributes)) return false;
    if (attributes.map_state != IsViewable || attributes.x > 0 || attributes.y > 0 ||
        attributes.width < DisplayWidth(dpy, screen) || attributes.height < DisplayHeight(dpy, screen))
        return false;
    // Above every other child of the root the server leaves it out of the
    // root's children; lowered, it is one of them.
    const std::vector<::Window> children = childrenOf(dpy, RootWindow(dpy, screen));
    const auto found = std::find(children.begin(), children.end(), overlay);
    return found == children.end() || found + 1 == children.end();
}

// Nothing but the lock belongs in an overlay window that no compositing
// manager uses: a window another client put there moves to the root, below
// the overlay window, where raising it shows nothing while the lock stands.
void X11Covers::evictStrangers(int screen, ::Window overlay) {
    Display* dpy = session_.display();
    const ::Window compositor = XGetSelectionOwner(dpy, compositorSelection(dpy, screen));
    for (::Window child : childrenOf(dpy, overlay)) {
        if (coverWith(child) || shields_.count(child)) continue;
        // Some compositing managers paint into a window of their own there.
        if (compositor != None && sameClient(dpy, child, compositor)) continue;
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(dpy, child, &attributes)) continue;
        XReparentWindow(dpy, child, RootWindow(dpy, screen), attributes.x, attributes.y);
    }
}

void X11Covers::keepOnTop() {
    if (!covering_) return;
    bool right = true;
    for (int screen = 0; screen < ScreenCount(session_.display()); ++screen) {
        const auto overlay = overlays_.find(screen);
        if (overlay != overlays_.end()) {
            evictStrangers(screen, overlay->second.window);
            if (overlay->second.lockInside) right = right && overlayIsRight(screen, overlay->second.window);
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
    for (const auto& [key, cover] : covers_) XRaiseWindow(dpy, cover.window);
    for (const auto& [shield, lost] : shields_) XRaiseWindow(dpy, shield);
    XFlush(dpy);
}

}  // namespace platform::desktop
