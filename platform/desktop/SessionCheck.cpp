#include <QApplication>

#include "platform/desktop/SessionCheck.h"

#include "platform/desktop/qt/QtAlertPresenter.h"
#include "platform/desktop/wayland/LockClient.h"
#include "platform/foundation/LogSink.h"

#include <X11/XKBlib.h>
#include <cstdlib>
#include <cstring>

namespace platform::desktop {

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool isWayland(const SessionEnvironment& environment) {
    return !environment.waylandDisplay.empty() || environment.sessionType == "wayland";
}

std::optional<SessionRefusal> checkCompositor(const SessionEnvironment& environment) {
    if (environment.waylandDisplay.empty())
        return SessionRefusal{SessionProblem::Wayland,
                              "WAYLAND_DISPLAY is not set although this session is Wayland: Tarnwick cannot reach "
                              "the compositor to lock the screen. To lock an X server instead, set "
                              "TARNWICK_ALLOW_WAYLAND=1."};
    std::string error;
    const std::optional<bool> offered = wayland::compositorOffersSessionLock(environment.waylandDisplay.c_str(), error);
    if (!offered)
        return SessionRefusal{SessionProblem::CompositorUnreachable, "Tarnwick cannot reach the Wayland compositor \"" +
                                                                         environment.waylandDisplay + "\" (" + error +
                                                                         "): there is no screen to lock."};
    if (!*offered)
        return SessionRefusal{SessionProblem::NoSessionLock,
                              "Tarnwick cannot lock this session: this compositor offers no ext-session-lock-v1; "
                              "Tarnwick can lock sway, Hyprland, river, niri, labwc, wayfire, or an X11 session."};
    return std::nullopt;
}

bool displayAnswers(const std::string& name) {
    if (name.empty()) return false;
    Display* display = XOpenDisplay(name.c_str());
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

bool breaksGrabs(const XkbAction& action) {
    // The X server's own actions behind XF86Ungrab (end every grab) and
    // XF86ClearGrab (kill the grabbing client).
    if (action.any.type != XkbSA_XFree86Private) return false;
    const auto* data = reinterpret_cast<const char*>(action.any.data);
    return std::memcmp(data, "Ungrab", 6) == 0 || std::memcmp(data, "ClsGrb", 6) == 0;
}

}  // namespace

SessionEnvironment SessionEnvironment::current() {
    return {variable("DISPLAY"), variable("WAYLAND_DISPLAY"), variable("XDG_SESSION_TYPE"),
            variable("TARNWICK_ALLOW_WAYLAND") == "1"};
}

SessionKind sessionKind(const SessionEnvironment& environment) {
    return isWayland(environment) && !environment.waylandAllowed ? SessionKind::Wayland : SessionKind::X11;
}

std::optional<SessionRefusal> checkSession(const SessionEnvironment& environment) {
    if (sessionKind(environment) == SessionKind::Wayland) return checkCompositor(environment);
    if (environment.display.empty())
        return SessionRefusal{SessionProblem::NoDisplay,
                              "Tarnwick locks an X11 display and DISPLAY is not set: there is no screen to lock. "
                              "To run its in-memory backend instead, set TARNWICK_BACKEND=headless."};
    if (!displayAnswers(environment.display))
        return SessionRefusal{
            SessionProblem::DisplayUnreachable,
            "Tarnwick cannot open the X display \"" + environment.display + "\": there is no screen to lock."};
    return std::nullopt;
}

int refuseToStart(const SessionRefusal& refusal, int& argc, char** argv) {
    LogSink::write(refusal.message);
    // Whoever started Tarnwick from a menu sees no standard error. A Wayland
    // compositor that cannot be locked still shows windows (Qt's Wayland
    // plug-in, or the X display of its X clients).
    const bool onCompositor = refusal.problem == SessionProblem::NoSessionLock;
    const bool onXDisplay =
        (refusal.problem == SessionProblem::Wayland || refusal.problem == SessionProblem::CompositorUnreachable) &&
        displayAnswers(variable("DISPLAY"));
    if (onCompositor || onXDisplay) {
        if (onXDisplay) qputenv("QT_QPA_PLATFORM", "xcb");
        QApplication application(argc, argv);
        QtAlertPresenter().present(Alert{"Tarnwick cannot lock this session", refusal.message, {"Quit"}});
    }
    return EXIT_FAILURE;
}

bool keymapBreaksGrabs(Display* display) {
    XkbDescPtr keymap = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask | XkbKeyActionsMask, XkbUseCoreKbd);
    if (!keymap) return false;
    bool breaks = false;
    for (int key = keymap->min_key_code; key <= keymap->max_key_code && !breaks; ++key) {
        if (!XkbKeyHasActions(keymap, key)) continue;
        const XkbAction* actions = XkbKeyActionsPtr(keymap, key);
        for (int i = 0; i < XkbKeyNumActions(keymap, key) && !breaks; ++i) breaks = breaksGrabs(actions[i]);
    }
    XkbFreeKeyboard(keymap, 0, True);
    return breaks;
}

}  // namespace platform::desktop
