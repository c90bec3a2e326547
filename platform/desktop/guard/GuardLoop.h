#pragma once

#include "platform/desktop/guard/Attempts.h"
#include "platform/desktop/guard/Protocol.h"

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>

namespace platform::desktop::guard {

// What the guard knows about the application.
enum class Watch {
    Unlocked,   // nothing to guard but the gamma ramps of a fade
    Locked,     // locked and answering
    Stalled,    // locked, but its heartbeats stopped
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

// What the guards of X11 and Wayland sessions share: the one poll loop they
// sleep in, on the channel and the display server's connection; the watch
// over the application through the channel (its messages, its heartbeats,
// the end of the stream when it dies); and the password check of a
// take-over, which goes on counting wrong passwords, and waiting after the
// third, where the lock screen stopped.
class GuardLoop {
public:
    virtual ~GuardLoop() = default;
    [[noreturn]] void run();

protected:
    using Clock = std::chrono::steady_clock;

    explicit GuardLoop(Options options);

    // The display server's connection as the loop polls it: its descriptor
    // (-1 for none) and whether events are read already, which poll would
    // not tell.
    struct ServerPoll {
        int fd = -1;
        bool queued = false;
    };
    virtual ServerPoll serverPoll() = 0;
    // After every wake-up but a bare time-out; `readable` when the server
    // sent something.
    virtual void serverReady(bool readable) = 0;
    // -1 to wait for ever.
    virtual int timeoutMilliseconds() const = 0;
    virtual void onTimeout();

    // The application locked: what a take-over needs is made now, while
    // nothing is wrong, so that it costs only a few requests.
    void engage();
    virtual void prepare() = 0;
    // The application unlocked: all of that goes.
    void standDown();
    virtual void letGo() = 0;
    virtual void stall() = 0;
    // The application died while locked: the guard holds the session (its
    // prompt made), asks for the password, and shows the prompt.
    void takeOver();
    virtual void holdSession() = 0;
    virtual void showPrompt() = 0;
    virtual void onApplicationGone() = 0;
    // A heartbeat, or a lock engaged, came from the application.
    virtual void answered() {}
    virtual void rampsChanged(const Message&) {}

    // The take-over's prompt.
    virtual void say(const std::string& status) = 0;
    // What was typed; the prompt is empty afterwards.
    virtual std::string takeTyped() = 0;
    virtual void clearTyped() = 0;
    virtual void redraw() = 0;
    [[noreturn]] virtual void unlockAndRestart() = 0;

    // The count starts where the lock screen left it, with the penalty the
    // preferences hold.
    void startCounting();
    // True when the key is swallowed: a wait runs (Return is noted).
    bool swallowedDuringWait(bool isReturn);
    // After a key the prompt took: Return checks what was typed.
    void keyTaken(bool submitted);
    void check(const std::string& password);
    // One step of a wait: the countdown said, or the prompt given back.
    void tickWait();
    // Until the heartbeat is late, while locked; else `otherwise`, or
    // sooner while a wait counts down.
    int heartbeatOr(int otherwise) const;

    static constexpr const char* kNoPassword = "No password is stored: the screen stays locked.";

    Options options_;
    int channel_;
    Watch watch_ = Watch::Unlocked;
    Clock::time_point lastHeartbeat_;
    std::optional<std::string> engagedDigest_;
    std::optional<std::string> digest_;
    // The keyboard layout the password was set with, as stored at the lock.
    std::optional<std::string> engagedLayout_;
    Attempts attempts_{std::chrono::minutes(1)};
    double takeOverStart_ = 0;

private:
    void onChannelReadable();
    void startWaiting();

    // What the lock screen said last.
    PasswordAttempts carried_;
    Clock::time_point carriedAt_;
};

}  // namespace platform::desktop::guard
