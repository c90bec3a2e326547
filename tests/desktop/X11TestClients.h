#pragma once

#include "desktop/QtWidgetTesting.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/shape.h>
#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <thread>
#include <vector>

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
        return children(RootWindow(dpy, screen < 0 ? DefaultScreen(dpy) : screen));
    }
    std::vector<::Window> children(::Window window, ::Window* parentOut = nullptr) {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(dpy, window, &root, &parent, &children, &count)) return {};
        std::vector<::Window> order(children, children + count);
        if (children) XFree(children);
        if (parentOut) *parentOut = parent;
        return order;
    }
    ::Window parentOf(::Window window) {
        ::Window parent = 0;
        children(window, &parent);
        return parent;
    }
    // Whether `upper` is drawn above `lower`: their ancestors are compared
    // in the stacking of the first window they share. The overlay window,
    // which the server leaves out of the root's children while it is above
    // them all, counts as the topmost.
    bool above(::Window upper, ::Window lower) {
        const std::vector<::Window> a = lineage(upper), b = lineage(lower);
        std::size_t shared = 0;
        while (shared < a.size() && shared < b.size() && a[shared] == b[shared]) ++shared;
        // On different screens.
        if (shared == 0) return false;
        // A window is drawn above its ancestors.
        if (shared == a.size() || shared == b.size()) return shared == b.size();
        const std::vector<::Window> order = children(a[shared - 1]);
        const auto upperAt = std::find(order.begin(), order.end(), a[shared]);
        const auto lowerAt = std::find(order.begin(), order.end(), b[shared]);
        if (upperAt == order.end()) return true;
        if (lowerAt == order.end()) return false;
        return upperAt > lowerAt;
    }
    // A window and its ancestors, the root first.
    std::vector<::Window> lineage(::Window window) {
        std::vector<::Window> line{window};
        for (::Window parent = parentOf(window); parent; parent = parentOf(parent)) line.insert(line.begin(), parent);
        return line;
    }
    bool hasComposite() {
        int event = 0, error = 0;
        return XCompositeQueryExtension(dpy, &event, &error);
    }
    // The screen's composite overlay window; this client holds it until it
    // closes.
    ::Window overlay(int screen = -1) {
        return XCompositeGetOverlayWindow(dpy, RootWindow(dpy, screen < 0 ? DefaultScreen(dpy) : screen));
    }
    ::Window mapOverrideRedirectWindow(int screen = -1, ::Window parent = 0) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        if (!parent) parent = RootWindow(dpy, screen < 0 ? DefaultScreen(dpy) : screen);
        const ::Window window = XCreateWindow(dpy, parent, 0, 0, 300, 200, 0, CopyFromParent, InputOutput,
                                              CopyFromParent, CWOverrideRedirect, &attributes);
        XMapRaised(dpy, window);
        XSync(dpy, False);
        return window;
    }
    bool viewable(::Window window) {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(dpy, window, &attributes) && attributes.map_state == IsViewable;
    }
    ::Window root() const { return DefaultRootWindow(dpy); }
    // The raw 32-bit items of a property (as Xlib hands them out, in longs).
    std::vector<unsigned char> property(::Window window, const char* name) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned char> bytes;
        if (XGetWindowProperty(dpy, window, XInternAtom(dpy, name, False), 0, 1 << 16, False, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            data && format == 32)
            bytes.assign(data, data + count * sizeof(long));
        if (data) XFree(data);
        return bytes;
    }
    void setProperty(::Window window, const char* name, Atom type, const std::vector<unsigned char>& bytes) {
        XChangeProperty(dpy, window, XInternAtom(dpy, name, False), type, 32, PropModeReplace, bytes.data(),
                        static_cast<int>(bytes.size() / sizeof(long)));
        XSync(dpy, False);
    }
    std::vector<XRectangle> boundingRectangles(::Window window) {
        int count = 0, ordering = 0;
        XRectangle* rectangles = XShapeGetRectangles(dpy, window, ShapeBounding, &count, &ordering);
        std::vector<XRectangle> result(rectangles, rectangles + count);
        if (rectangles) XFree(rectangles);
        return result;
    }
    // Viewable, and not shaped to nothing.
    bool shows(::Window window) {
        Bool bounding = False, clip = False;
        int x = 0, y = 0, cx = 0, cy = 0;
        unsigned width = 0, height = 0, cw = 0, ch = 0;
        if (!viewable(window)) return false;
        if (!XShapeQueryExtents(dpy, window, &bounding, &x, &y, &width, &height, &clip, &cx, &cy, &cw, &ch))
            return true;
        return !bounding || (width > 0 && height > 0);
    }
    // Adds a keyboard-and-pointer pair, as a second seat or a tablet tool
    // has; answers the keyboard's and the pointer's device ids (-1 when absent).
    std::pair<int, int> addMasterPair(const std::string& name) {
        XIAddMasterInfo add{};
        add.type = XIAddMaster;
        add.name = const_cast<char*>(name.c_str());
        add.send_core = True;
        add.enable = True;
        XIChangeHierarchy(dpy, reinterpret_cast<XIAnyHierarchyChangeInfo*>(&add), 1);
        XSync(dpy, False);
        int count = 0, keyboard = -1, pointer = -1;
        XIDeviceInfo* devices = XIQueryDevice(dpy, XIAllMasterDevices, &count);
        for (int i = 0; i < count; ++i) {
            if (std::string(devices[i].name) == name + " keyboard") keyboard = devices[i].deviceid;
            if (std::string(devices[i].name) == name + " pointer") pointer = devices[i].deviceid;
        }
        XIFreeDeviceInfo(devices);
        return {keyboard, pointer};
    }
    void removeMasterPair(int pointer) {
        XIRemoveMasterInfo remove{};
        remove.type = XIRemoveMaster;
        remove.deviceid = pointer;
        remove.return_mode = XIFloating;
        XIChangeHierarchy(dpy, reinterpret_cast<XIAnyHierarchyChangeInfo*>(&remove), 1);
        XSync(dpy, False);
    }
    // Whether another client holds this device: a grab of it is refused.
    bool deviceGrabbedElsewhere(int device) {
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_KeyPress);
        XIEventMask mask{device, sizeof bits, bits};
        const Status status = XIGrabDevice(dpy, device, DefaultRootWindow(dpy), CurrentTime, None, XIGrabModeAsync,
                                           XIGrabModeAsync, False, &mask);
        if (status == GrabSuccess) XIUngrabDevice(dpy, device, CurrentTime);
        XSync(dpy, False);
        return status == AlreadyGrabbed;
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
