#pragma once

#include "desktop/QtWidgetTesting.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
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
