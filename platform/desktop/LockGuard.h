#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::desktop {

// The gamma ramps of one CRTC.
struct GammaRamp {
    unsigned long crtc = 0;
    std::vector<std::uint16_t> red, green, blue;
};

// Gives the original gamma ramps back when the application dies during a
// fade, whatever kills it (signals, SIGKILL, a crash): a small child process,
// forked before anything else talks to the X server, holds the ramps that
// were in place when a fade began and restores them once its socket from the
// application closes while a fade is still marked as under way. No code has
// to run in the dying process, so nothing async-signal-unsafe is involved.
class LockGuard {
public:
    // Forks the child; without a display name (or when fork fails) the
    // watchdog does nothing.
    explicit LockGuard(const std::string& displayName);
    ~LockGuard();
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

    bool isRunning() const { return channel_ >= 0; }
    // The ramps to restore should the application die from now on.
    void remember(const std::vector<GammaRamp>& originals);
    // The ramps are back; nothing to restore any more.
    void forget();

    // The displays are captured: from now on a death of the application
    // leaves the session to the guard, which locks it itself.
    void lockEngaged();
    // The displays are released; the guard stands down.
    void lockReleased();
    // Sent while locked, from the main loop, so that the guard notices an
    // application that stopped answering (stopped, hung).
    void heartbeat();
    // How often heartbeat() is called while locked.
    static constexpr int kHeartbeatMilliseconds = 2000;

private:
    bool send(const std::vector<std::uint32_t>& header, const std::vector<GammaRamp>& ramps);

    int channel_ = -1;
    int child_ = -1;
};

}  // namespace platform::desktop
