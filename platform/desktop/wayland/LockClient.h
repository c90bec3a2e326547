#pragma once

#include "platform/desktop/wayland/LockKeyboard.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::desktop::wayland {

class ShmBuffer;

// Where the session lock of one client stands.
enum class LockState {
    Unlocked,   // no lock object
    Requested,  // asked for; neither `locked` nor `finished` yet
    Locked,     // the compositor shows only our lock surfaces and sends us the keys
};

// Why a lock ended without our unlock.
enum class LockEnd {
    Refused,  // `finished` before `locked`: another locker holds the session, or the compositor said no
    Lost,     // `finished` after `locked`: the lock no longer holds
};

// The pixels of one lock surface, in buffer pixels (logical size x scale),
// 0xAARRGGBB with the alpha ignored.
struct Canvas {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row
    int scale = 1;
    std::string outputName;
    bool main = false;  // the first output the compositor announced
};

// An output as the compositor describes it: its current mode in pixels.
struct OutputInfo {
    std::string name;
    int width = 0;
    int height = 0;
    int scale = 1;
};

// What the owner of a lock hears. Every handler runs inside dispatch().
struct LockHandlers {
    std::function<void()> locked;
    std::function<void(LockEnd)> ended;
    std::function<void(const TypedKey&)> key;
    std::function<void(Canvas&)> paint;
    // The connection broke (the compositor went away, or a protocol error):
    // this client can do nothing more, and the session stays locked if it was.
    std::function<void(const std::string&)> connectionLost;
    std::function<void(const std::string&)> log;
};

// A connection of its own to the compositor that locks the session with
// ext-session-lock-v1: one lock object per lock, one lock surface on every
// output (also one that appears while locked), the keyboard of every seat
// through libxkbcommon, and no pointer over the lock. It has no thread: the
// owner polls fd() (the Wayland socket and the key-repeat timer behind one
// descriptor) and calls dispatch() when it is readable. Every request is
// flushed before a call returns.
class LockClient {
public:
    // None when no compositor answers at `displayName` (nullptr: WAYLAND_DISPLAY);
    // `error` then says why.
    static std::unique_ptr<LockClient> connect(const char* displayName, std::string& error);
    ~LockClient();
    LockClient(const LockClient&) = delete;
    LockClient& operator=(const LockClient&) = delete;

    void setHandlers(LockHandlers handlers);
    int fd() const { return pollFd_; }
    void dispatch();
    bool connected() const { return connected_; }

    bool offersSessionLock() const;
    LockState state() const { return state_; }
    // Asks for the lock; false when the compositor offers no lock or a lock
    // is already asked for or held. The answer comes as `locked` or `ended`.
    bool lock();
    // Gives the lock up: unlocks the session once `locked` came, only
    // withdraws the request before.
    void unlock();
    // Waits until the compositor has read every request sent so far: before
    // a process that has just unlocked exits.
    void roundtrip();

    // Paints every lock surface again (something on the lock screen changed).
    void redraw();
    std::size_t outputCount() const;
    std::vector<OutputInfo> outputs() const;
    std::size_t lockSurfaceCount() const;

    struct Output;
    struct Seat;
    struct Surface;

private:
    LockClient();
    void bindGlobal(std::uint32_t name, const char* interface, std::uint32_t version);
    void removeGlobal(std::uint32_t name);
    void addSurface(Output& output);
    void dropSurfaces();
    void paint(Surface& surface);
    std::unique_ptr<ShmBuffer> newBuffer(Surface& surface, int width, int height);
    void onLocked();
    void onFinished();
    void onKey(const TypedKey& press);
    void armRepeat(const LockKeyboard& keyboard);
    void repeatKey();
    void flush();
    void fail(const std::string& why);
    void log(const std::string& line) const;

    struct Globals;
    std::unique_ptr<Globals> globals_;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::vector<std::unique_ptr<Seat>> seats_;
    LockHandlers handlers_;
    LockState state_ = LockState::Unlocked;
    int pollFd_ = -1;
    int repeatTimer_ = -1;
    Seat* repeatingSeat_ = nullptr;
    bool connected_ = true;
    bool waitingToWrite_ = false;

    friend struct Listeners;
};

// Whether the compositor at `displayName` offers ext_session_lock_manager_v1;
// none when no compositor answers (`error` says why).
std::optional<bool> compositorOffersSessionLock(const char* displayName, std::string& error);

}  // namespace platform::desktop::wayland
