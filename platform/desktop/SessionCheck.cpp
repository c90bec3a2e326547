#include <QApplication>

#include "platform/desktop/SessionCheck.h"

#include "platform/desktop/qt/QtAlertPresenter.h"
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

std::optional<SessionRefusal> checkSession(const SessionEnvironment& environment) {
    if (isWayland(environment) && !environment.waylandAllowed)
        return SessionRefusal{SessionProblem::Wayland,
                              "Tarnwick locks X11 sessions only and this session is Wayland: it cannot lock the "
                              "screen here. To start it anyway, set TARNWICK_ALLOW_WAYLAND=1."};
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
    // Whoever started Tarnwick from a menu sees no standard error: a Wayland
    // session usually still has an X display to show the dialog on.
    if (refusal.problem == SessionProblem::Wayland && displayAnswers(variable("DISPLAY"))) {
        qputenv("QT_QPA_PLATFORM", "xcb");
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
