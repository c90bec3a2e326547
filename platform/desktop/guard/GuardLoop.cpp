#include "platform/desktop/guard/GuardLoop.h"

#include "platform/desktop/guard/PasswordDigest.h"
#include "platform/desktop/guard/Process.h"
#include "platform/desktop/guard/Prompt.h"

#include <algorithm>
#include <malloc.h>
#include <poll.h>
#include <unistd.h>

namespace platform::desktop::guard {

namespace {

constexpr auto kHeartbeatTolerance = std::chrono::milliseconds(kHeartbeatToleranceMilliseconds);
// The countdown of a wait is said again this often.
constexpr int kCountdownMilliseconds = 250;

std::string waitText(long seconds) { return "Three wrong passwords. Wait " + std::to_string(seconds) + " seconds."; }

}  // namespace

GuardLoop::GuardLoop(Options options) : options_(std::move(options)), channel_(options_.channel) {}

void GuardLoop::run() {
    if (options_.resume == Watch::Locked) engage();
    if (options_.resume == Watch::TakenOver) {
        channel_ = -1;
        takeOver();
    }
    for (;;) {
        pollfd fds[2] = {};
        nfds_t count = 0;
        if (channel_ >= 0) fds[count++] = {channel_, POLLIN, 0};
        const ServerPoll server = serverPoll();
        const nfds_t serverSlot = count;
        if (server.fd >= 0) fds[count++] = {server.fd, POLLIN, 0};
        const int ready = ::poll(fds, count, server.queued ? 0 : timeoutMilliseconds());
        // The channel first: a heartbeat or a release may make the rest moot.
        if (ready > 0 && channel_ >= 0 && fds[0].revents != 0) onChannelReadable();
        serverReady(ready > 0 && serverSlot < count && fds[serverSlot].revents != 0);
        if (ready == 0) onTimeout();
    }
}

void GuardLoop::engage() {
    watch_ = Watch::Locked;
    lastHeartbeat_ = Clock::now();
    engagedDigest_ = readPasswordDigest(preferencesFile());
    if (!engagedDigest_) note("no password digest in " + preferencesFile());
    engagedLayout_ = readPasswordLayout(preferencesFile());
    prepare();
}

void GuardLoop::standDown() {
    watch_ = Watch::Unlocked;
    letGo();
    engagedDigest_.reset();
    engagedLayout_.reset();
    // Each lock opens and closes a connection of its own; what it freed goes
    // back to the system rather than staying in the heap for good.
    ::malloc_trim(0);
}

void GuardLoop::takeOver() {
    takeOverStart_ = monotonicSeconds();
    watch_ = Watch::TakenOver;
    holdSession();
    // The password of the lock is the one stored when it began: another
    // program may have rewritten the file since. Only a lock that began
    // without a readable one falls back on what the file holds now.
    digest_ = engagedDigest_ ? engagedDigest_ : readPasswordDigest(preferencesFile());
    say(digest_ ? "" : kNoPassword);
    note("the application died while the screen was locked; the guard keeps it locked");
    if (!digest_) note("no password digest is known: the screen stays locked");
    startCounting();
    showPrompt();
}

void GuardLoop::onTimeout() {
    if (watch_ == Watch::Locked && Clock::now() - lastHeartbeat_ >= kHeartbeatTolerance) stall();
}

int GuardLoop::heartbeatOr(int otherwise) const {
    if (watch_ == Watch::Locked) {
        const auto left = lastHeartbeat_ + kHeartbeatTolerance - Clock::now();
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        return static_cast<int>(std::max<decltype(milliseconds)>(0, milliseconds));
    }
    if (watch_ == Watch::TakenOver && attempts_.waiting())
        return otherwise < 0 ? kCountdownMilliseconds : std::min(otherwise, kCountdownMilliseconds);
    return otherwise;
}

void GuardLoop::onChannelReadable() {
    std::optional<Message> message = readMessage(channel_);
    if (!message) {
        ::close(channel_);
        channel_ = -1;
        return onApplicationGone();
    }
    switch (message->kind) {
        case MessageKind::RememberRamps:
        case MessageKind::ForgetRamps: rampsChanged(*message); break;
        case MessageKind::LockEngaged:
            if (watch_ == Watch::Unlocked) engage();
            lastHeartbeat_ = Clock::now();
            answered();
            break;
        case MessageKind::Heartbeat:
            if (watch_ == Watch::Unlocked) break;
            lastHeartbeat_ = Clock::now();
            answered();
            break;
        case MessageKind::LockReleased:
            carried_ = {};
            if (watch_ != Watch::TakenOver) standDown();
            break;
        case MessageKind::Attempts:
            carried_ = message->attempts;
            carriedAt_ = Clock::now();
            break;
    }
}

void GuardLoop::startCounting() {
    attempts_ = Attempts(std::chrono::minutes(readPenaltyMinutes(preferencesFile()).value_or(1)));
    std::optional<Clock::time_point> waitEnds;
    if (carried_.waitMilliseconds > 0) waitEnds = carriedAt_ + std::chrono::milliseconds(carried_.waitMilliseconds);
    const auto now = Clock::now();
    attempts_.carryOn(static_cast<int>(carried_.wrong), waitEnds, now);
    if (attempts_.waiting()) {
        const long seconds = attempts_.secondsLeft(now);
        note("the lock screen's wait goes on: no password is checked for " + std::to_string(seconds) + " seconds");
        say(waitText(seconds));
    } else if (carried_.wrong > 0) {
        note(std::to_string(carried_.wrong) + " wrong passwords typed at the lock screen count here too");
    }
}

bool GuardLoop::swallowedDuringWait(bool isReturn) {
    tickWait();
    if (!attempts_.waiting()) return false;
    if (isReturn) note("a password typed during the wait was not checked");
    return true;
}

void GuardLoop::keyTaken(bool submitted) {
    if (submitted) {
        std::string password = takeTyped();
        check(password);
        wipe(password);
    }
    redraw();
}

void GuardLoop::check(const std::string& password) {
    if (!digest_) {
        say(kNoPassword);
        return note("a password was typed, but none is stored: the screen stays locked");
    }
    if (passwordMatches(password, *digest_)) unlockAndRestart();
    const bool startsWaiting = attempts_.wrong(Clock::now());
    note("wrong password (attempt " + std::to_string(attempts_.total()) + ")");
    if (startsWaiting) return startWaiting();
    say("Wrong password (" + std::to_string(attempts_.total()) + "). Try again.");
}

void GuardLoop::startWaiting() {
    clearTyped();
    const long seconds = attempts_.secondsLeft(Clock::now());
    note("three wrong passwords: no password is checked for " + std::to_string(seconds) + " seconds");
    say(waitText(seconds));
}

void GuardLoop::tickWait() {
    if (!attempts_.waiting()) return;
    const auto now = Clock::now();
    if (attempts_.endWaitIfOver(now)) {
        note("the wait after three wrong passwords is over");
        say("Please enter your password.");
    } else {
        say(waitText(attempts_.secondsLeft(now)));
    }
    redraw();
}

}  // namespace platform::desktop::guard
