#pragma once

#include "platform/desktop/guard/GuardLoop.h"
#include "platform/desktop/guard/Prompt.h"
#include "platform/desktop/guard/Shield.h"

#include <X11/Xlib.h>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::desktop::guard {

// The guard's state machine. While the application is unlocked it sleeps in
// a blocking poll on the channel; while it is locked only the heartbeats wake
// it. The end of the channel's stream means that the application is gone,
// however it died; if it was locked, the guard covers every monitor, grabs
// keyboard and pointer and asks for the password itself; the right one
// unlocks and starts the application again.
class Guard final : public GuardLoop {
public:
    explicit Guard(Options options);
    // The X connection broke under the guard (the server closed it, say on
    // XKillClient): a fresh guard process takes up where this one was.
    [[noreturn]] void startAgainAfterLostConnection();

private:
    bool listening() const;
    ServerPoll serverPoll() override;
    void serverReady(bool readable) override;
    int timeoutMilliseconds() const override;
    void onTimeout() override;
    void onApplicationGone() override;
    void prepare() override;
    void letGo() override;
    void answered() override;
    void rampsChanged(const Message& message) override;
    void stall() override;
    void holdSession() override;
    void showPrompt() override;
    void holdInput();
    void handleEvents();
    bool restackedByTheApplication(const XEvent& event) const;
    void onKey(XKeyEvent& event);
    void say(const std::string& status) override;
    std::string takeTyped() override;
    void clearTyped() override;
    void redraw() override;
    [[noreturn]] void unlockAndRestart() override;

    std::vector<GammaRamp> pendingRamps_;
    std::unique_ptr<Shield> shield_;
    std::unique_ptr<Prompt> prompt_;  // after shield_: goes first, while the display is open
    bool inputReported_ = false;
};

}  // namespace platform::desktop::guard
