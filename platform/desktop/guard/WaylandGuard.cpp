#include "platform/desktop/guard/WaylandGuard.h"

#include "platform/desktop/guard/PasswordDigest.h"
#include "platform/desktop/guard/Process.h"
#include "platform/desktop/guard/Prompt.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <poll.h>
#include <unistd.h>

namespace platform::desktop::guard {

namespace {

// A refused lock is asked for again after 50 ms, doubling up to a second;
// after a minute of refusals another locker holds the session for good.
constexpr int kFirstRetryMilliseconds = 50;
constexpr int kLongestRetryMilliseconds = 1000;
constexpr int kRefusalsBeforeGivingUp = 75;

int milliseconds(std::chrono::steady_clock::duration left) {
    const auto count = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::max<decltype(count)>(0, count));
}

}  // namespace

WaylandGuard::WaylandGuard(Options options) : GuardLoop(std::move(options)) {}

GuardLoop::ServerPoll WaylandGuard::serverPoll() {
    if (client_ && client_->connected()) return {client_->fd(), false};
    return {};
}

void WaylandGuard::serverReady(bool readable) {
    if (readable && client_) client_->dispatch();
}

int WaylandGuard::timeoutMilliseconds() const {
    return heartbeatOr(retryAt_ ? milliseconds(*retryAt_ - Clock::now()) : -1);
}

void WaylandGuard::onTimeout() {
    if (retryAt_ && Clock::now() >= *retryAt_) {
        retryAt_.reset();
        return askForLock();
    }
    GuardLoop::onTimeout();
    if (watch_ == Watch::TakenOver) tickWait();
}

void WaylandGuard::onApplicationGone() {
    if (watch_ == Watch::Locked || watch_ == Watch::Stalled) return takeOver();
    // Ended by the guard itself for not answering: the take-over goes on.
    if (watch_ == Watch::TakenOver) return;
    std::exit(0);
}

// The connection: a take-over then costs only the lock request.
void WaylandGuard::prepare() {
    if (!connect()) note("cannot reach the Wayland compositor " + options_.wayland + " while the screen is locked");
}

void WaylandGuard::letGo() {
    client_.reset();
    prompt_.reset();
}

bool WaylandGuard::connect() {
    if (client_ && client_->connected()) return true;
    std::string error;
    client_ = wayland::LockClient::connect(options_.wayland.c_str(), error);
    if (!client_) {
        note(error);
        return false;
    }
    client_->setHandlers({.locked = [this] { onLocked(); },
                          .ended = [this](wayland::LockEnd end) { onEnded(end); },
                          .key = [this](const wayland::TypedKey& press) { onKey(press); },
                          .paint =
                              [this](wayland::Canvas& canvas) {
                                  if (prompt_) prompt_->draw(canvas);
                              },
                          .connectionLost =
                              [this](const std::string& message) {
                                  if (watch_ == Watch::TakenOver) giveUp(message);
                                  note(message);
                              },
                          .log = [](const std::string& line) { note(line); }});
    return true;
}

// A stopped or hung application keeps its lock object, and the compositor
// gives nobody else a lock while it lives: it is ended, and the guard takes
// over.
void WaylandGuard::stall() {
    watch_ = Watch::Stalled;
    note("the locked application stopped answering; ending it to take the lock over");
    if (options_.applicationPid > 1) ::kill(options_.applicationPid, SIGKILL);
    takeOver();
}

void WaylandGuard::holdSession() {
    if (!connect()) giveUp("the application died while the screen was locked, and the compositor cannot be reached");
    if (!prompt_) prompt_ = std::make_unique<WaylandPrompt>();
}

void WaylandGuard::showPrompt() { askForLock(); }

void WaylandGuard::askForLock() {
    if (client_->state() != wayland::LockState::Unlocked) return;
    if (!client_->lock()) giveUp("the compositor offers no session lock any more");
}

void WaylandGuard::onLocked() {
    refusals_ = 0;
    char line[160];
    const double now = monotonicSeconds();
    std::snprintf(line, sizeof line, "the session lock is held %.1f ms into the take-over (monotonic %.6f)",
                  (now - takeOverStart_) * 1000.0, now);
    note(line);
}

void WaylandGuard::onEnded(wayland::LockEnd end) {
    if (watch_ != Watch::TakenOver) return;
    // Refused: the compositor has not yet seen the application go. Lost:
    // the lock no longer holds. Either way it is asked for again.
    if (end == wayland::LockEnd::Refused && ++refusals_ >= kRefusalsBeforeGivingUp)
        giveUp("the compositor refuses the session lock: another locker holds it");
    const int pause =
        std::min(kFirstRetryMilliseconds << std::min(refusals_ > 0 ? refusals_ - 1 : 0, 8), kLongestRetryMilliseconds);
    retryAt_ = Clock::now() + std::chrono::milliseconds(pause);
}

void WaylandGuard::onKey(const wayland::TypedKey& press) {
    if (watch_ != Watch::TakenOver || !prompt_) return;
    // While waiting after three wrong passwords no password is checked.
    if (swallowedDuringWait(press.keysym == XKB_KEY_Return || press.keysym == XKB_KEY_KP_Enter)) return;
    const WaylandPrompt::Outcome outcome = prompt_->type(press);
    if (outcome != WaylandPrompt::Outcome::Ignored) keyTaken(outcome == WaylandPrompt::Outcome::Submitted);
}

std::string WaylandGuard::takeTyped() { return prompt_ ? prompt_->takePassword() : std::string(); }

void WaylandGuard::say(const std::string& status) {
    if (prompt_) prompt_->say(status);
}

void WaylandGuard::clearTyped() {
    std::string typed = takeTyped();
    wipe(typed);
}

void WaylandGuard::redraw() {
    if (client_) client_->redraw();
}

void WaylandGuard::unlockAndRestart() {
    note("the right password was typed: unlocking and starting the application again");
    prompt_.reset();
    client_->unlock();
    // The compositor must have read the unlock before this client goes.
    client_->roundtrip();
    client_.reset();
    startDetached(options_.application);
    std::exit(0);
}

// The compositor is gone or refuses for good: nothing the guard can do
// would lock the session, and it must not spin trying.
void WaylandGuard::giveUp(const std::string& why) {
    note(why + "; the guard ends");
    std::exit(1);
}

}  // namespace platform::desktop::guard
