#pragma once

#include <X11/Xlib.h>
#include <optional>
#include <string>

namespace platform::desktop {

// Where the desktop backend can protect the session and where it cannot.
// Tarnwick locks an X server: in a Wayland session its grabs hold only over
// the X clients of the compositor, and without a display there is nothing to
// lock. Either way it says so and does not start.
struct SessionEnvironment {
    std::string display;          // DISPLAY
    std::string waylandDisplay;   // WAYLAND_DISPLAY
    std::string sessionType;      // XDG_SESSION_TYPE
    bool waylandAllowed = false;  // TARNWICK_ALLOW_WAYLAND=1, for those who know what stays unprotected

    static SessionEnvironment current();
};

enum class SessionProblem { Wayland, NoDisplay, DisplayUnreachable };

struct SessionRefusal {
    SessionProblem problem;
    std::string message;
};

// Why Tarnwick must not start in this session, or none. Opens (and closes)
// the display to see that it answers.
std::optional<SessionRefusal> checkSession(const SessionEnvironment& environment);

// Logs the refusal, shows it in a dialog when an X display can be opened
// (on standard error only otherwise) and answers the exit status.
int refuseToStart(const SessionRefusal& refusal, int& argc, char** argv);

// Whether the keyboard map carries the actions that let a key end any grab
// or kill the client holding it (XKB option "grab:break_actions").
bool keymapBreaksGrabs(Display* display);

}  // namespace platform::desktop
