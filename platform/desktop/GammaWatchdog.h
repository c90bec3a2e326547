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
class GammaWatchdog {
public:
    // Forks the child; without a display name (or when fork fails) the
    // watchdog does nothing.
    explicit GammaWatchdog(const std::string& displayName);
    ~GammaWatchdog();
    GammaWatchdog(const GammaWatchdog&) = delete;
    GammaWatchdog& operator=(const GammaWatchdog&) = delete;

    bool isRunning() const { return channel_ >= 0; }
    // The ramps to restore should the application die from now on.
    void remember(const std::vector<GammaRamp>& originals);
    // The ramps are back; nothing to restore any more.
    void forget();

private:
    bool send(const std::vector<std::uint32_t>& header, const std::vector<GammaRamp>& ramps);

    int channel_ = -1;
    int child_ = -1;
};

}  // namespace platform::desktop
