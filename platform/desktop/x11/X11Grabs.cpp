#include "platform/desktop/x11/X11Grabs.h"

#include "platform/foundation/LogSink.h"

#include <X11/extensions/XInput2.h>
#include <string>

namespace platform::desktop {

namespace {

constexpr int kRegrabMilliseconds = 100;
constexpr long kPointerEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;

void log(const std::string& message) { LogSink::write("Tarnwick: " + message); }

}  // namespace

X11Grabs::X11Grabs(X11Session& session) : session_(session) {
    retry_.setInterval(kRegrabMilliseconds);
    QObject::connect(&retry_, &QTimer::timeout, [this] {
        if (!held_ || grabAll()) {
            retry_.stop();
            if (held_) log("the lock holds the keyboard and the pointer again");
        }
    });
}

X11Grabs::~X11Grabs() { release(); }

bool X11Grabs::take() {
    if (grabAll()) {
        held_ = true;
        return true;
    }
    ungrabAll();
    return false;
}

void X11Grabs::release() {
    const bool wasHeld = held_;
    held_ = false;
    retry_.stop();
    if (wasHeld) ungrabAll();
}

void X11Grabs::reassert() {
    if (!held_ || retry_.isActive()) return;
    if (grabAll()) return;
    log("the lock lost its hold on the keyboard or the pointer and cannot take it back yet; retrying");
    retry_.start();
}

bool X11Grabs::grabAll() {
    const bool core = grabCorePair();
    const bool extra = grabExtraMasterDevices();
    XSync(session_.display(), False);
    return core && extra;
}

bool X11Grabs::grabCorePair() {
    Display* dpy = session_.display();
    const int keyboard = XGrabKeyboard(dpy, session_.root(), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (keyboard != GrabSuccess) return false;
    const int pointer = XGrabPointer(dpy, session_.root(), False, kPointerEvents, GrabModeAsync, GrabModeAsync, None,
                                     None, CurrentTime);
    return pointer == GrabSuccess;
}

bool X11Grabs::grabExtraMasterDevices() {
    if (!session_.hasXInput2()) return true;
    Display* dpy = session_.display();
    int clientPointer = 0;
    XIGetClientPointer(dpy, None, &clientPointer);
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(dpy, XIAllMasterDevices, &count);
    int coreKeyboard = -1;
    for (int i = 0; i < count; ++i)
        if (devices[i].deviceid == clientPointer) coreKeyboard = devices[i].attachment;
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        const XIDeviceInfo& device = devices[i];
        if (device.deviceid == clientPointer || device.deviceid == coreKeyboard) continue;
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XIEventMask mask{device.deviceid, sizeof bits, bits};
        if (device.use == XIMasterKeyboard) {
            XISetMask(bits, XI_KeyPress);
            XISetMask(bits, XI_KeyRelease);
        } else {
            XISetMask(bits, XI_ButtonPress);
            XISetMask(bits, XI_Motion);
        }
        const Status status = XIGrabDevice(dpy, device.deviceid, session_.root(), CurrentTime, None, XIGrabModeAsync,
                                           XIGrabModeAsync, False, &mask);
        if (status == GrabSuccess)
            devices_.insert(device.deviceid);
        else
            ok = false;
    }
    XIFreeDeviceInfo(devices);
    return ok;
}

void X11Grabs::ungrabAll() {
    Display* dpy = session_.display();
    {
        // A device may have gone since it was grabbed.
        X11Session::ErrorTrap trap(session_);
        for (int device : devices_) XIUngrabDevice(dpy, device, CurrentTime);
        trap.finish();
    }
    devices_.clear();
    XUngrabPointer(dpy, CurrentTime);
    XUngrabKeyboard(dpy, CurrentTime);
    XSync(dpy, False);
}

}  // namespace platform::desktop
