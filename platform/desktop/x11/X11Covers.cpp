#include "platform/desktop/x11/X11Covers.h"

#include <X11/Xutil.h>
#include <algorithm>
#include <set>

namespace platform::desktop {

namespace {

long keyForScreen(int screen) { return -1L - screen; }

}  // namespace

X11Covers::X11Covers(X11Session& session) : session_(session) {}

X11Covers::~X11Covers() { uncoverAll(); }

std::vector<::Window> X11Covers::roots() const {
    std::vector<::Window> result;
    for (int screen = 0; screen < ScreenCount(session_.display()); ++screen)
        result.push_back(RootWindow(session_.display(), screen));
    return result;
}

void X11Covers::watchRoots(bool on) {
    for (::Window root : roots()) session_.selectInput(root, SubstructureNotifyMask, on);
}

::Window X11Covers::makeCover(int screen, const Monitor& area) {
    Display* dpy = session_.display();
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(dpy, screen);
    // Its own structure events reach the lock wherever another client moves it.
    attributes.event_mask = VisibilityChangeMask | StructureNotifyMask;
    const ::Window cover =
        XCreateWindow(dpy, RootWindow(dpy, screen), area.x, area.y, static_cast<unsigned>(area.width),
                      static_cast<unsigned>(area.height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
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
    watchRoots(false);
    for (const auto& [key, cover] : covers_) XDestroyWindow(session_.display(), cover.window);
    covers_.clear();
    XSync(session_.display(), False);
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
    if (covering_) restack();
}

void X11Covers::removeShield(::Window window) { shields_.erase(window); }

X11Covers::Cover* X11Covers::coverWith(::Window window) {
    for (auto& [key, cover] : covers_)
        if (cover.window == window) return &cover;
    return nullptr;
}

bool X11Covers::unmapped(::Window window) {
    if (!covering_) return false;
    if (!coverWith(window) && !shields_.count(window)) return false;
    XMapRaised(session_.display(), window);
    restack();
    return true;
}

bool X11Covers::destroyed(::Window window) {
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
    Cover* cover = coverWith(window);
    if (!cover && !shields_.count(window)) return false;
    Display* dpy = session_.display();
    const ::Window root = cover ? RootWindow(dpy, cover->screen) : session_.root();
    if (parent == root) return true;
    // Inside another client's window it covers only that window.
    int rootX = x, rootY = y;
    ::Window child = 0;
    XTranslateCoordinates(dpy, parent, root, x, y, &rootX, &rootY, &child);
    if (cover) rootX = cover->area.x, rootY = cover->area.y;
    XReparentWindow(dpy, window, root, rootX, rootY);
    XMapRaised(dpy, window);
    restack();
    return true;
}

bool X11Covers::stackIsRight(::Window root) const {
    ::Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(session_.display(), root, &rootReturn, &parent, &children, &count)) return true;
    std::set<::Window> ours;
    for (const auto& [key, cover] : covers_) ours.insert(cover.window);
    for (const auto& [shield, lost] : shields_) ours.insert(shield);
    // Ours must be the topmost children; anything of another client above
    // the lowest of them shows.
    bool right = true;
    bool seenOurs = false;
    for (unsigned i = 0; i < count; ++i) {
        const bool mine = ours.count(children[i]) > 0;
        if (mine)
            seenOurs = true;
        else if (seenOurs)
            right = false;
    }
    if (children) XFree(children);
    return right;
}

void X11Covers::keepOnTop() {
    if (!covering_) return;
    const std::vector<::Window> all = roots();
    if (std::all_of(all.begin(), all.end(), [this](::Window root) { return stackIsRight(root); })) return;
    restack();
}

void X11Covers::restack() {
    Display* dpy = session_.display();
    for (const auto& [key, cover] : covers_) XRaiseWindow(dpy, cover.window);
    for (const auto& [shield, lost] : shields_) XRaiseWindow(dpy, shield);
    XFlush(dpy);
}

}  // namespace platform::desktop
