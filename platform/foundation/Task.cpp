#include "platform/foundation/Task.h"

#include "platform/foundation/ChildReaper.h"

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace platform {

namespace {

void reapWhenDone(pid_t pid, ChildReaper::Collected collected = {}) {
    ChildReaper::shared().adopt(pid, std::move(collected));
}

}  // namespace

Task::Task(std::string launchPath, std::vector<std::string> arguments)
    : launchPath_(std::move(launchPath)), arguments_(std::move(arguments)) {}

Task::~Task() {
    // A launched task that nobody waited for must still be collected.
    if (pid_ > 0 && !waited_) reapWhenDone(pid_);
}

bool Task::spawn() {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(launchPath_.c_str()));
    for (auto& a : arguments_) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Only the standard streams are handed on: camera, display and bus
    // connections stay with the application.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    const int rc = posix_spawn(&pid, launchPath_.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) return false;
    pid_ = pid;
    waited_ = false;
    return true;
}

bool Task::launch() { return spawn(); }

bool Task::launchDetached(std::function<void(int waitStatus)> collected) {
    if (!spawn()) return false;
    waited_ = true;  // the reaper owns it now
    reapWhenDone(pid_, std::move(collected));
    return true;
}

int Task::waitUntilExit() {
    if (pid_ <= 0) return -1;
    if (waited_) return status_;
    int status = 0;
    pid_t rc;
    do {
        rc = waitpid(pid_, &status, 0);
    } while (rc < 0 && errno == EINTR);
    waited_ = true;
    status_ = (rc == pid_ && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    return status_;
}

bool Task::anyProcessNamed(const std::string& name) {
    constexpr std::size_t kKeptNameLength = 15;
    const std::string kept = name.substr(0, kKeptNameLength);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string pid = entry.path().filename().string();
        if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid.front()))) continue;
        std::ifstream comm(entry.path() / "comm");
        std::string running;
        if (std::getline(comm, running) && running == kept) return true;
    }
    return false;
}

}  // namespace platform
