#include "platform/desktop/LockGuard.h"

#include "platform/foundation/ChildReaper.h"
#include "platform/foundation/LogSink.h"

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform::desktop {

namespace {

constexpr const char* kGuardExecutable = "tarnwick-guard";

void log(const std::string& message) { LogSink::write("Tarnwick: " + message); }

std::string ownExecutable() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

std::string besideOwnExecutable(const std::string& name) {
    const std::string self = ownExecutable();
    const std::size_t slash = self.rfind('/');
    return slash == std::string::npos ? name : self.substr(0, slash + 1) + name;
}

}  // namespace

LockGuard::LockGuard(const std::string& displayName, const std::string& guardExecutable, Server server, Start when)
    : displayName_(displayName),
      server_(server),
      executable_(guardExecutable.empty() ? besideOwnExecutable(kGuardExecutable) : guardExecutable) {
    if (displayName_.empty()) return;
    if (::access(executable_.c_str(), X_OK) != 0) {
        log("the lock guard " + executable_ +
            " is missing: should Tarnwick die while locked, the session is left open");
        executable_.clear();
        return;
    }
    if (when == Start::Now) startIfNeeded();
}

void LockGuard::startIfNeeded() {
    if (startAttempted_ || executable_.empty() || displayName_.empty()) return;
    startAttempted_ = true;
    if (!start()) log("cannot start the lock guard");
}

bool LockGuard::start() {
    // Everything the child needs is prepared before the spawn.
    const std::string application = ownExecutable();
    const std::string channel = std::to_string(guard::kChannelDescriptor);
    const char* const serverOption = server_ == Server::Wayland ? "--wayland" : "--display";
    const char* const arguments[] = {executable_.c_str(), serverOption, displayName_.c_str(), "--application",
                                     application.c_str(), "--channel",  channel.c_str(),      nullptr};
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    // A copy onto itself would keep the close-on-exec flag: a descriptor
    // that already has the number has the flag cleared instead.
    if (fds[0] == guard::kChannelDescriptor)
        ::fcntl(fds[0], F_SETFD, 0);
    else
        ::posix_spawn_file_actions_adddup2(&actions, fds[0], guard::kChannelDescriptor);
    startedAt_ = std::chrono::steady_clock::now();
    // Spawned, not forked: the child borrows this process's memory until it
    // runs the guard, instead of copying the mappings of every library
    // while the application is starting.
    pid_t pid = -1;
    const int status =
        ::posix_spawn(&pid, executable_.c_str(), &actions, nullptr, const_cast<char* const*>(arguments), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (status != 0) {
        ::close(fds[1]);
        return false;
    }
    channel_ = fds[1];
    child_ = pid;
    return true;
}

LockGuard::~LockGuard() {
    if (channel_ < 0) return;
    ::close(channel_);
    // A guard that takes over a locked session outlives this process; any
    // other ends at once (after giving back the ramps of a fade).
    if (!engaged_) ::waitpid(child_, nullptr, 0);
}

bool LockGuard::write(guard::MessageKind kind, const std::vector<GammaRamp>& ramps) {
    guard::Message message{kind, ramps, {}};
    if (kind == guard::MessageKind::Attempts) {
        // The wait as it stands now: a restarted guard is told what is left.
        const auto left = std::max(waitEnds_ - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration{});
        message.attempts = {attempts_.wrong,
                            static_cast<std::uint32_t>(std::chrono::ceil<std::chrono::milliseconds>(left).count())};
    }
    return channel_ >= 0 && guard::writeMessage(channel_, message);
}

// The old guard is collected in the background; the new one learns what the
// lock is doing now. At most one start a second, should a guard die at once.
bool LockGuard::restart() {
    if (channel_ >= 0) {
        ::close(channel_);
        channel_ = -1;
        ChildReaper::shared().adopt(child_);
    }
    if (executable_.empty() || displayName_.empty()) return false;
    if (std::chrono::steady_clock::now() - startedAt_ < std::chrono::seconds(1)) return false;
    if (!start()) return false;
    log("the lock guard was gone; a new one is started");
    if (!remembered_.empty()) write(guard::MessageKind::RememberRamps, remembered_);
    if (engaged_) write(guard::MessageKind::LockEngaged);
    if (attempts_.wrong > 0) write(guard::MessageKind::Attempts);
    return true;
}

void LockGuard::send(guard::MessageKind kind, const std::vector<GammaRamp>& ramps) {
    // A guard not started yet is started before it is told anything.
    startIfNeeded();
    if (write(kind, ramps)) return;
    if (channel_ >= 0) log("the lock guard is gone");
    // The restarted guard was already told the state this message sets.
    if (!restart() && channel_ < 0 && !executable_.empty())
        log("no lock guard: should Tarnwick die while locked, the session is left open");
}

void LockGuard::remember(const std::vector<GammaRamp>& originals) {
    remembered_ = originals;
    send(guard::MessageKind::RememberRamps, originals);
}

void LockGuard::forget() {
    remembered_.clear();
    send(guard::MessageKind::ForgetRamps);
}

void LockGuard::lockEngaged() {
    engaged_ = true;
    send(guard::MessageKind::LockEngaged);
}

void LockGuard::lockReleased() {
    engaged_ = false;
    send(guard::MessageKind::LockReleased);
}

void LockGuard::heartbeat() { send(guard::MessageKind::Heartbeat); }

void LockGuard::record(int wrong, double waitSeconds) {
    attempts_.wrong = static_cast<std::uint32_t>(std::max(wrong, 0));
    waitEnds_ = std::chrono::steady_clock::now() +
                std::chrono::milliseconds(static_cast<long>(std::max(waitSeconds, 0.0) * 1000.0));
    send(guard::MessageKind::Attempts);
}

}  // namespace platform::desktop
