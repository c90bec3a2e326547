#pragma once

#include "platform/desktop/guard/Attempts.h"
#include "platform/desktop/guard/Prompt.h"
#include "platform/desktop/guard/Protocol.h"
#include "platform/desktop/guard/Shield.h"

#include <X11/Xlib.h>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::desktop::guard {

// What the guard knows about the application.
enum class Watch {
    Unlocked,   // nothing to guard but the gamma ramps of a fade
    Locked,     // locked and answering
    Stalled,    // locked, but its heartbeats stopped: covered until it answers
    TakenOver,  // it died while locked: the guard holds the session
};

struct Options {
    std::string self;  // this executable
    std::string display;
    std::string wayland;       // WAYLAND_DISPLAY of a Wayland session, instead of an X display
    std::string application;   // started again after an unlock
    pid_t applicationPid = 0;  // the guard's parent
    int channel = kChannelDescriptor;
    Watch resume = Watch::Unlocked;  // where a guard that lost its X connection was
};

// The guard's state machine. While the application is unlocked it sleeps in
// a blocking poll on the channel; while it is locked only the heartbeats wake
// it. The end of the channel's stream means that the application is gone,
// however it died; if it was locked, the guard covers every monitor, grabs
// keyboard and pointer and asks for the password itself; the right one
// unlocks and starts the application again.
class Guard {
public:
    explicit Guard(Options options);
    [[noreturn]] void run();
    // The X connection broke under the guard (the server closed it, say on
    // XKillClient): a fresh guard process takes up where this one was.
    [[noreturn]] void startAgainAfterLostConnection();

private:
    using Clock = std::chrono::steady_clock;

    bool listening() const;
    int timeoutMilliseconds() const;
    void onTimeout();
    void onChannelReadable();
    void onApplicationGone();
    void engage();
    void standDown();
    void answered();
    void stall();
    void takeOver();
    void holdInput();
    void handleEvents();
    bool restackedByTheApplication(const XEvent& event) const;
    void onKey(XKeyEvent& event);
    void check(const std::string& password);
    void startWaiting();
    void tickWait();
    [[noreturn]] void unlockAndRestart();
    void drawPrompt();

    Options options_;
    int channel_;
    Watch watch_ = Watch::Unlocked;
    Clock::time_point lastHeartbeat_;
    std::vector<GammaRamp> pendingRamps_;
    std::optional<std::string> engagedDigest_;
    std::optional<std::string> digest_;
    std::unique_ptr<Shield> shield_;
    std::unique_ptr<Prompt> prompt_;  // after shield_: goes first, while the display is open
    double takeOverStart_ = 0;
    bool inputReported_ = false;
    Attempts attempts_{std::chrono::minutes(1)};
};

}  // namespace platform::desktop::guard
