#include "platform/desktop/guard/Shield.h"

#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>

namespace platform::desktop::guard {

namespace {

constexpr long kRootWatchMask = SubstructureNotifyMask | FocusChangeMask | EnterWindowMask | LeaveWindowMask;

}  // namespace

std::unique_ptr<Shield> Shield::open(const std::string& displayName) {
    Display* dpy = XOpenDisplay(displayName.c_str());
    if (!dpy) return nullptr;
    return std::unique_ptr<Shield>(new Shield(dpy));
}

Shield::Shield(Display* dpy) : dpy_(dpy), root_(DefaultRootWindow(dpy)) {
    int errorBase = 0;
    if (!XRRQueryExtension(dpy_, &randrEventBase_, &errorBase)) randrEventBase_ = -1;
    int resourceEventBase = 0;
    haveResourceExtension_ = XResQueryExtension(dpy_, &resourceEventBase, &errorBase);
}

Shield::~Shield() {
    releaseInput();
    watch(false);
    for (const Cover& cover : covers_) XDestroyWindow(dpy_, cover.window);
    XSync(dpy_, False);
    XCloseDisplay(dpy_);
}

std::vector<Shield::Cover> Shield::monitorLayout() const {
    std::vector<Cover> layout;
    int count = 0;
    XRRMonitorInfo* monitors = randrEventBase_ >= 0 ? XRRGetMonitors(dpy_, root_, True, &count) : nullptr;
    for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo& m = monitors[i];
        layout.push_back({0,
                          DefaultScreen(dpy_),
                          {m.x, m.y, static_cast<unsigned>(m.width), static_cast<unsigned>(m.height)},
                          m.primary != 0});
    }
    if (monitors) XRRFreeMonitors(monitors);
    if (layout.empty())
        for (int screen = 0; screen < ScreenCount(dpy_); ++screen)
            layout.push_back({0,
                              screen,
                              {0, 0, static_cast<unsigned>(DisplayWidth(dpy_, screen)),
                               static_cast<unsigned>(DisplayHeight(dpy_, screen))},
                              false});
    auto atOrigin = [](const Cover& c) { return c.area.x == 0 && c.area.y == 0; };
    auto main = std::find_if(layout.begin(), layout.end(), [](const Cover& c) { return c.main; });
    if (main == layout.end()) main = std::find_if(layout.begin(), layout.end(), atOrigin);
    if (main == layout.end()) main = layout.begin();
    for (Cover& cover : layout) cover.main = &cover == &*main;
    return layout;
}

void Shield::create(Cover& cover) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(dpy_, cover.screen);
    attributes.event_mask = ExposureMask;
    cover.window = XCreateWindow(dpy_, RootWindow(dpy_, cover.screen), cover.area.x, cover.area.y, cover.area.width,
                                 cover.area.height, 0, CopyFromParent, InputOutput, CopyFromParent,
                                 CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XStoreName(dpy_, cover.window, "Tarnwick guard");
    XClassHint hint{const_cast<char*>("tarnwick-guard"), const_cast<char*>("Tarnwick")};
    XSetClassHint(dpy_, cover.window, &hint);
    if (shown_) XMapRaised(dpy_, cover.window);
}

void Shield::fitToMonitors() {
    std::vector<Cover> layout = monitorLayout();
    // Covers are reused in order; the spare ones go, missing ones are made.
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (i < covers_.size() && covers_[i].screen == layout[i].screen) {
            layout[i].window = covers_[i].window;
            const Area& a = layout[i].area;
            XMoveResizeWindow(dpy_, layout[i].window, a.x, a.y, a.width, a.height);
        } else {
            if (i < covers_.size()) XDestroyWindow(dpy_, covers_[i].window);
            create(layout[i]);
        }
    }
    for (std::size_t i = layout.size(); i < covers_.size(); ++i) XDestroyWindow(dpy_, covers_[i].window);
    covers_ = std::move(layout);
    if (shown_) raiseCovers();
    XFlush(dpy_);
}

void Shield::show() {
    if (covers_.empty()) fitToMonitors();
    shown_ = true;
    raiseCovers();
    XFlush(dpy_);
}

void Shield::hide() {
    shown_ = false;
    for (const Cover& cover : covers_) XUnmapWindow(dpy_, cover.window);
    XFlush(dpy_);
}

void Shield::raiseCovers() {
    for (const Cover& cover : covers_) XMapRaised(dpy_, cover.window);
}

void Shield::watch(bool on) {
    if (on == watching_) return;
    watching_ = on;
    for (int screen = 0; screen < ScreenCount(dpy_); ++screen)
        XSelectInput(dpy_, RootWindow(dpy_, screen), on ? kRootWatchMask : NoEventMask);
    if (randrEventBase_ >= 0) XRRSelectInput(dpy_, root_, on ? RRScreenChangeNotifyMask : 0);
    XFlush(dpy_);
}

bool Shield::isCover(::Window window) const {
    return std::any_of(covers_.begin(), covers_.end(), [window](const Cover& c) { return c.window == window; });
}

void Shield::keep(const XEvent& event) {
    if (!watching_) return;
    if (randrEventBase_ >= 0 && event.type == randrEventBase_ + RRScreenChangeNotify) {
        XRRUpdateConfiguration(const_cast<XEvent*>(&event));
        fitToMonitors();
        return;
    }
    switch (event.type) {
        case MapNotify:
            if (!isCover(event.xmap.window)) raiseCovers();
            break;
        case ConfigureNotify:
            if (!isCover(event.xconfigure.window)) raiseCovers();
            break;
        case CirculateNotify:
            // Circulation may have sent a cover itself to the bottom.
            raiseCovers();
            break;
        case UnmapNotify:
            if (shown_ && isCover(event.xunmap.window)) XMapRaised(dpy_, event.xunmap.window);
            break;
        case DestroyNotify:
            for (Cover& cover : covers_)
                if (cover.window == event.xdestroywindow.window) create(cover);
            break;
        case FocusIn:
        case FocusOut:
        case EnterNotify:
        case LeaveNotify:
            // The server ended a grab (a deactivation key, say): take it back.
            if (inputHeld_) holdInput();
            break;
        default: return;
    }
    XFlush(dpy_);
}

pid_t Shield::ownerOf(::Window window) const {
    if (!haveResourceExtension_) return 0;
    XResClientIdSpec spec{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* ids = nullptr;
    pid_t owner = 0;
    if (XResQueryClientIds(dpy_, 1, &spec, &count, &ids) == Success)
        for (long i = 0; i < count; ++i)
            if (XResGetClientPid(&ids[i]) > 0) owner = XResGetClientPid(&ids[i]);
    if (ids) XResClientIdsDestroy(count, ids);
    return owner;
}

bool Shield::holdInput() {
    const int keyboard = XGrabKeyboard(dpy_, root_, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    const int pointer =
        XGrabPointer(dpy_, root_, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    inputHeld_ = keyboard == GrabSuccess && pointer == GrabSuccess;
    return inputHeld_;
}

void Shield::releaseInput() {
    XUngrabPointer(dpy_, CurrentTime);
    XUngrabKeyboard(dpy_, CurrentTime);
    inputHeld_ = false;
    XFlush(dpy_);
}

::Window Shield::mainCover() const {
    for (const Cover& cover : covers_)
        if (cover.main) return cover.window;
    return 0;
}

Area Shield::mainArea() const {
    for (const Cover& cover : covers_)
        if (cover.main) return cover.area;
    return {};
}

void Shield::restoreGamma(const std::vector<GammaRamp>& ramps) {
    for (const GammaRamp& ramp : ramps) {
        const int size = static_cast<int>(ramp.red.size());
        XRRCrtcGamma* gamma = XRRAllocGamma(size);
        if (!gamma) continue;
        std::copy(ramp.red.begin(), ramp.red.end(), gamma->red);
        std::copy(ramp.green.begin(), ramp.green.end(), gamma->green);
        std::copy(ramp.blue.begin(), ramp.blue.end(), gamma->blue);
        XRRSetCrtcGamma(dpy_, ramp.crtc, gamma);
        XRRFreeGamma(gamma);
    }
    XSync(dpy_, False);
}

}  // namespace platform::desktop::guard
