#pragma once

#include "platform/desktop/guard/Protocol.h"
#include "platform/services/AttemptsRecord.h"

#include <chrono>
#include <string>
#include <vector>

namespace platform::desktop {

// The application's side of the lock guard, a small process without Qt
// (tarnwick-guard, beside the application's executable) that outlives the
// application: it gives the original gamma ramps back when the application
// dies during a fade, and when the application dies while locked, whatever
// kills it (signals, SIGKILL, a crash, the server closing its connection),
// it keeps the session locked and asks for the password itself. The guard
// learns of the death from its socket reaching end of stream, so no code has
// to run in the dying process. A guard found gone (killed, out of memory) is
// started again at the next message, and told what the lock is doing.
// It also hears of every wrong password, so that a guard that takes over
// goes on counting where the lock screen stopped.
class LockGuard final : public AttemptsRecord {
public:
    // The display server the guard locks should the application die.
    enum class Server { X11, Wayland };
    // At once, or at startIfNeeded() or the first message, whichever comes
    // first: a message (the lock engaged, the ramps of a fade) always finds
    // the guard started, and told, before the application acts on it.
    enum class Start { Now, WhenNeeded };

    // Without a display name (tests), or when the guard cannot be started,
    // there is none and every call does nothing. `guardExecutable` defaults
    // to tarnwick-guard beside this executable.
    explicit LockGuard(const std::string& displayName, const std::string& guardExecutable = {},
                       Server server = Server::X11, Start when = Start::Now);
    ~LockGuard() override;
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

    bool isRunning() const { return channel_ >= 0; }
    void startIfNeeded();
    // The guard's process; 0 when there is none.
    int pid() const { return channel_ >= 0 ? child_ : 0; }
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
    void record(int wrong, double waitSeconds) override;

private:
    void send(guard::MessageKind kind, const std::vector<GammaRamp>& ramps = {});
    bool start();
    bool restart();
    bool write(guard::MessageKind kind, const std::vector<GammaRamp>& ramps = {});

    std::string displayName_;
    Server server_;
    std::string executable_;
    int channel_ = -1;
    int child_ = -1;
    bool engaged_ = false;
    bool startAttempted_ = false;
    std::vector<GammaRamp> remembered_;
    guard::PasswordAttempts attempts_;
    std::chrono::steady_clock::time_point waitEnds_;
    std::chrono::steady_clock::time_point startedAt_;
};

}  // namespace platform::desktop
