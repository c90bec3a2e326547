#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <X11/Xlib.h>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

// Runs the Qt event loop for a while, as the application's main loop would.
inline void processEventsFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// A second client of the same server, as another application would be.
struct OtherClient {
    Display* dpy = XOpenDisplay(nullptr);
    OtherClient() = default;
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;
    ~OtherClient() {
        if (dpy) XCloseDisplay(dpy);
    }
    int grabKeyboard() {
        const int status = XGrabKeyboard(dpy, DefaultRootWindow(dpy), False, GrabModeAsync, GrabModeAsync, CurrentTime);
        XSync(dpy, False);
        return status;
    }
    void ungrabKeyboard() {
        XUngrabKeyboard(dpy, CurrentTime);
        XSync(dpy, False);
    }
    bool keyboardTakenByAnother() {
        const int status = grabKeyboard();
        if (status == GrabSuccess) ungrabKeyboard();
        return status == AlreadyGrabbed;
    }
    // Children of a root in stacking order, bottom first.
    std::vector<::Window> stacking(int screen = -1) {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        XQueryTree(dpy, RootWindow(dpy, screen < 0 ? DefaultScreen(dpy) : screen), &root, &parent, &children, &count);
        std::vector<::Window> order(children, children + count);
        if (children) XFree(children);
        return order;
    }
    ::Window mapOverrideRedirectWindow(int screen = -1) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        const ::Window window =
            XCreateWindow(dpy, RootWindow(dpy, screen < 0 ? DefaultScreen(dpy) : screen), 0, 0, 300, 200, 0,
                          CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
        XMapRaised(dpy, window);
        XSync(dpy, False);
        return window;
    }
    bool viewable(::Window window) {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(dpy, window, &attributes) && attributes.map_state == IsViewable;
    }
    std::string name(::Window window) {
        char* text = nullptr;
        std::string result;
        if (XFetchName(dpy, window, &text) && text) {
            result = text;
            XFree(text);
        }
        return result;
    }
};
