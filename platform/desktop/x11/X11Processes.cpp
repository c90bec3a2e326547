#include "platform/desktop/x11/X11Processes.h"

#include <X11/Xatom.h>
#include <X11/extensions/XRes.h>
#include <fstream>
#include <unistd.h>

namespace platform::desktop {

namespace {

// One CARDINAL or WINDOW value of a property; 0 when absent.
unsigned long cardinalProperty(Display* dpy, ::Window window, const char* name, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom property = XInternAtom(dpy, name, False);
    unsigned long value = 0;
    if (XGetWindowProperty(dpy, window, property, 0, 1, False, type, &actualType, &format, &count, &after, &data) ==
            Success &&
        data && count == 1 && format == 32)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return value;
}

}  // namespace

unsigned long X11Processes::activeWindow() {
    X11Session::ErrorTrap trap(session_);
    return cardinalProperty(session_.display(), session_.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW);
}

long X11Processes::windowPid(unsigned long window) {
    X11Session::ErrorTrap trap(session_);
    return static_cast<long>(cardinalProperty(session_.display(), window, "_NET_WM_PID", XA_CARDINAL));
}

long X11Processes::clientPid(unsigned long window) {
    int event = 0, error = 0;
    if (!XResQueryExtension(session_.display(), &event, &error)) return 0;
    XResClientIdSpec spec{window, XRES_CLIENT_ID_PID_MASK};
    long elements = 0;
    XResClientIdValue* values = nullptr;
    long pid = 0;
    X11Session::ErrorTrap trap(session_);
    if (XResQueryClientIds(session_.display(), 1, &spec, &elements, &values) == Success) {
        for (long i = 0; i < elements && pid <= 0; ++i)
            if (XResGetClientIdType(&values[i]) == XRES_CLIENT_ID_PID) pid = XResGetClientPid(&values[i]);
        XResClientIdsDestroy(elements, values);
    }
    return pid > 0 ? pid : 0;
}

int X11Processes::frontProcess(ProcessSerialNumber& psn) {
    const unsigned long window = activeWindow();
    if (!window) return kProcessNotFound;
    long pid = windowPid(window);
    if (pid <= 0) pid = clientPid(window);
    if (pid <= 0) return kProcessNotFound;
    psn.highLongOfPSN = static_cast<std::uint32_t>(window);
    psn.lowLongOfPSN = static_cast<std::uint32_t>(pid);
    return 0;
}

int X11Processes::setFrontProcess(const ProcessSerialNumber& psn) {
    if (psn.highLongOfPSN == 0) return kParameterError;
    Display* dpy = session_.display();
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = psn.highLongOfPSN;
    event.xclient.message_type = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // asked for by a pager-like tool: honoured even without user time
    event.xclient.data.l[1] = CurrentTime;
    X11Session::ErrorTrap trap(session_);
    XSendEvent(dpy, session_.root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    return trap.finish() == 0 ? 0 : kProcessNotFound;
}

int X11Processes::processName(const ProcessSerialNumber& psn, std::string& name) {
    const std::string base = "/proc/" + std::to_string(psn.lowLongOfPSN);
    std::ifstream comm(base + "/comm");
    if (comm && std::getline(comm, name) && !name.empty()) return 0;
    char target[4096];
    const ssize_t length = ::readlink((base + "/exe").c_str(), target, sizeof target - 1);
    if (length <= 0) return kProcessNotFound;
    std::string path(target, static_cast<std::size_t>(length));
    name = path.substr(path.find_last_of('/') + 1);
    return 0;
}

int X11Processes::transformCurrentProcess(ProcessType) { return 0; }

// The foreground/background switch exists on every X11 desktop in the same
// way (no Dock), so the application is told it runs on a current system.
std::int32_t X11Processes::systemVersion() { return 0x1070; }

}  // namespace platform::desktop
