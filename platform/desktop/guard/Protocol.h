#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace platform::desktop {

// The gamma ramps of one CRTC.
struct GammaRamp {
    unsigned long crtc = 0;
    std::vector<std::uint16_t> red, green, blue;
};

namespace guard {

// What the application tells its lock guard over the socket they share. The
// socket's end of stream is the message that matters most: the application
// is gone, however it died.
enum class MessageKind : std::uint32_t {
    RememberRamps = 1,  // the ramps to give back should the application die during a fade
    ForgetRamps = 2,    // the fade is over
    LockEngaged = 3,    // the displays are captured
    LockReleased = 4,   // the displays are released
    Heartbeat = 5,      // the locked application still answers
    Attempts = 6,       // the lock screen's count of wrong passwords changed
};

// The lock screen's count: wrong passwords since the lock began or the last
// wait ended, and how long a running wait has still to go.
struct PasswordAttempts {
    std::uint32_t wrong = 0;
    std::uint32_t waitMilliseconds = 0;
};

struct Message {
    MessageKind kind = MessageKind::Heartbeat;
    std::vector<GammaRamp> ramps;  // RememberRamps only
    PasswordAttempts attempts;     // Attempts only
};

// How often the locked application sends a heartbeat, and how long the
// guard waits for one before it covers: two may be late. A stalled
// application still holds its grabs and covers, so the guard only has to
// offer the password in time; a slow beat lets both processes sleep.
constexpr int kHeartbeatMilliseconds = 5000;
constexpr int kHeartbeatToleranceMilliseconds = 12000;

// The descriptor the guard finds its socket on.
constexpr int kChannelDescriptor = 3;

// False when the peer is gone; never raises SIGPIPE.
bool writeMessage(int fd, const Message& message);
// The next message, or none at the end of the stream or when what arrives is
// not a message (which the guard treats alike: the application cannot be
// trusted any more).
std::optional<Message> readMessage(int fd);

}  // namespace guard
}  // namespace platform::desktop
