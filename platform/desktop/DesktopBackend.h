#pragma once

#include <memory>

namespace platform::desktop {

// The Linux desktop: creates the Qt application, opens the backend's own
// connection to the display server (an X display, or a Wayland compositor
// that offers the session lock, as SessionCheck chose) and installs every
// desktop service (run loop, alerts, displays and fades, display power,
// interface mode, processes, input sources, event tap, hot keys, workspace,
// the session-bus channel, the desktop's lock requests and, on X11, the X
// server's idle counter) and the peers that draw the window and status item
// models. One per process, created before the application's own objects and
// destroyed after them.
class DesktopBackend {
public:
    DesktopBackend(int& argc, char** argv);
    ~DesktopBackend();
    DesktopBackend(const DesktopBackend&) = delete;
    DesktopBackend& operator=(const DesktopBackend&) = delete;

    // Runs the main run loop until the application terminates; the exit status.
    int exec();

private:
    struct Services;
    std::unique_ptr<Services> services_;
};

}  // namespace platform::desktop
