// tarnwick-guard: keeps the session locked when Tarnwick dies while locked.
// Started by the application (platform::desktop::LockGuard) with one end of a
// socket pair; see Guard.h.

#include "platform/desktop/guard/Guard.h"
#include "platform/desktop/guard/Process.h"
#include "platform/desktop/guard/WaylandGuard.h"

#include <X11/Xlib.h>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unistd.h>

using namespace platform::desktop::guard;

namespace {

Guard* theGuard = nullptr;

std::optional<Options> parseOptions(int argc, char** argv) {
    if (argc % 2 == 0) return std::nullopt;
    Options options;
    options.self = argv[0];
    options.applicationPid = ::getppid();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--display")
            options.display = value;
        else if (name == "--wayland")
            options.wayland = value;
        else if (name == "--application")
            options.application = value;
        else if (name == "--channel")
            options.channel = std::atoi(value.c_str());
        else if (name == "--resume" && value == "locked")
            options.resume = Watch::Locked;
        else if (name == "--resume" && value == "taken-over")
            options.resume = Watch::TakenOver;
        else
            return std::nullopt;
    }
    if (options.display.empty() == options.wayland.empty()) return std::nullopt;
    return options;
}

// A request on a window that another client destroyed meanwhile is no reason
// to end; Xlib's default handler would exit.
int ignoreProtocolError(Display*, XErrorEvent*) { return 0; }

int onConnectionLost(Display*) {
    if (theGuard) theGuard->startAgainAfterLostConnection();
    _exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: %s --display NAME|--wayland NAME --application PATH [--channel FD] "
                     "[--resume locked|taken-over]\n",
                     argv[0]);
        return 2;
    }
    detachFromSession(options->resume == Watch::TakenOver ? -1 : options->channel);
    if (!options->wayland.empty()) {
        // Keys become text by the compositor's keymap and the locale's compose table.
        std::setlocale(LC_CTYPE, "");
        WaylandGuard(*options).run();
    }
    XSetErrorHandler(ignoreProtocolError);
    XSetIOErrorHandler(onConnectionLost);
    Guard guard(*options);
    theGuard = &guard;
    guard.run();
}
