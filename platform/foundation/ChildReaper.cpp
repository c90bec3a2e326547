#include "platform/foundation/ChildReaper.h"

#include <cerrno>
#include <cstdint>
#include <map>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

int openProcessDescriptor(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// The child's wait status; that of a plain exit when someone else collected it.
int collect(pid_t pid, int options) {
    int status = 0;
    pid_t rc;
    while ((rc = ::waitpid(pid, &status, options)) < 0 && errno == EINTR) {}
    return rc == pid ? status : 0;
}

}  // namespace

ChildReaper& ChildReaper::shared() {
    static ChildReaper reaper;
    return reaper;
}

ChildReaper::ChildReaper() = default;

ChildReaper::~ChildReaper() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        if (running_) wake();
    }
    if (thread_.joinable()) thread_.join();
}

void ChildReaper::adopt(pid_t pid, Collected collected) {
    std::lock_guard<std::mutex> guard(lock_);
    incoming_.push_back({pid, std::move(collected)});
    ++pending_;
    if (running_) {
        wake();
        return;
    }
    if (thread_.joinable()) thread_.join();  // a previous run that has ended
    // The descriptors live only as long as the run: an idle process holds none.
    wakeup_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    running_ = true;
    thread_ = std::thread([this] { run(); });
}

std::size_t ChildReaper::pending() {
    std::lock_guard<std::mutex> guard(lock_);
    return pending_;
}

void ChildReaper::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeup_, &one, sizeof one);
}

void ChildReaper::run() {
    std::map<int, Child> children;  // process descriptor -> child
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock_);
            while (!incoming_.empty()) {
                std::vector<Child> arrived;
                arrived.swap(incoming_);
                for (Child& child : arrived) {
                    const int fd = openProcessDescriptor(child.pid);
                    if (fd >= 0) {
                        children[fd] = std::move(child);
                        continue;
                    }
                    // Already collected by someone, or no descriptors on this
                    // kernel: then this waits for it on its own.
                    guard.unlock();
                    const int status = collect(child.pid, 0);
                    if (child.collected) child.collected(status);
                    guard.lock();
                    --pending_;
                }
            }
            if (children.empty() || stopping_) {
                for (const auto& [fd, pid] : children) ::close(fd);
                ::close(wakeup_);
                wakeup_ = -1;
                running_ = false;
                return;
            }
        }
        std::vector<pollfd> watched{{wakeup_, POLLIN, 0}};
        for (const auto& [fd, pid] : children) watched.push_back({fd, POLLIN, 0});
        if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR) continue;
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(wakeup_, &count, sizeof count);
        for (std::size_t i = 1; i < watched.size(); ++i) {
            if (!(watched[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const Child& child = children[watched[i].fd];
            const int status = collect(child.pid, WNOHANG);
            if (child.collected) child.collected(status);
            ::close(watched[i].fd);
            children.erase(watched[i].fd);
            std::lock_guard<std::mutex> guard(lock_);
            --pending_;
        }
    }
}

}  // namespace platform
