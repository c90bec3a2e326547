#pragma once

#include <X11/Xlib.h>
#include <optional>
#include <string>

namespace platform::desktop {

// Where the desktop backend can protect the session and where it cannot.
// Tarnwick locks an X server, or a Wayland compositor that offers the
// session lock protocol (ext-session-lock-v1). In a Wayland session without
// it, an X client's grabs would hold only over the compositor's X clients;
// without a display there is nothing to lock. Either way it says so and does
// not start.
struct SessionEnvironment {
    std::string display;          // DISPLAY
    std::string waylandDisplay;   // WAYLAND_DISPLAY
    std::string sessionType;      // XDG_SESSION_TYPE
    bool waylandAllowed = false;  // TARNWICK_ALLOW_WAYLAND=1: lock the X server (a nested one) all the same

    static SessionEnvironment current();
};

enum class SessionProblem { Wayland, NoSessionLock, CompositorUnreachable, NoDisplay, DisplayUnreachable };

// Which display server the backend locks.
enum class SessionKind { X11, Wayland };

// The display server to lock: the Wayland compositor of WAYLAND_DISPLAY,
// unless TARNWICK_ALLOW_WAYLAND asks for the X server.
SessionKind sessionKind(const SessionEnvironment& environment);

struct SessionRefusal {
    SessionProblem problem;
    std::string message;
};

// Why Tarnwick must not start in this session, or none. Opens (and closes)
// the display to see that it answers, and on Wayland that the compositor
// offers the session lock.
std::optional<SessionRefusal> checkSession(const SessionEnvironment& environment);

// Logs the refusal, shows it in a dialog when a display can be opened (on
// standard error only otherwise) and answers the exit status.
int refuseToStart(const SessionRefusal& refusal, int& argc, char** argv);

// Whether the keyboard map carries the actions that let a key end any grab
// or kill the client holding it (XKB option "grab:break_actions").
bool keymapBreaksGrabs(Display* display);

}  // namespace platform::desktop
