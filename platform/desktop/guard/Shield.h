#pragma once

#include "platform/desktop/guard/Protocol.h"

#include <X11/Xlib.h>
#include <memory>
#include <sys/types.h>
#include <string>
#include <vector>

namespace platform::desktop::guard {

struct Area {
    int x = 0, y = 0;
    unsigned width = 0, height = 0;
};

// The guard's own hold on the X server: black override-redirect covers over
// every monitor, kept above every other window, and the keyboard and pointer
// grabbed on the root window, where no other client can take them away.
class Shield {
public:
    // None when the display cannot be opened.
    static std::unique_ptr<Shield> open(const std::string& displayName);
    ~Shield();
    Shield(const Shield&) = delete;
    Shield& operator=(const Shield&) = delete;

    Display* display() const { return dpy_; }
    int connection() const { return ConnectionNumber(dpy_); }

    // One cover per monitor, created unmapped ahead of need so that showing
    // them later costs no more than a map request each.
    void fitToMonitors();
    void show();
    void hide();
    // While on, every window that appears, moves or is circulated, every
    // cover that is unmapped or destroyed and every change of the monitors
    // is answered by keep().
    void watch(bool on);
    void keep(const XEvent& event);
    bool isCover(::Window window) const;
    // The process of the client that made `window` (through the X-Resource
    // extension); 0 when the server cannot tell.
    pid_t ownerOf(::Window window) const;

    // True once keyboard and pointer are both held; asking again is harmless.
    bool holdInput();
    bool inputHeld() const { return inputHeld_; }
    void releaseInput();

    // The cover of the main monitor (primary, else at the origin, else the
    // first), where the prompt goes.
    ::Window mainCover() const;
    Area mainArea() const;

    // Puts ramps remembered during a fade back.
    void restoreGamma(const std::vector<GammaRamp>& ramps);

private:
    struct Cover {
        ::Window window = 0;
        int screen = 0;
        Area area;
        bool main = false;
    };
    explicit Shield(Display* dpy);
    std::vector<Cover> monitorLayout() const;
    void create(Cover& cover);
    void raiseCovers();

    Display* dpy_;
    ::Window root_;
    int randrEventBase_ = -1;
    bool haveResourceExtension_ = false;
    std::vector<Cover> covers_;
    bool shown_ = false;
    bool watching_ = false;
    bool inputHeld_ = false;
};

}  // namespace platform::desktop::guard
