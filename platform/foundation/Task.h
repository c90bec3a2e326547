#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

// A child process started from a path with arguments. It inherits the
// environment, the working directory and the standard streams, and no other
// descriptors.
class Task {
public:
    Task(std::string launchPath, std::vector<std::string> arguments);
    ~Task();

    const std::string& launchPath() const { return launchPath_; }
    const std::vector<std::string>& arguments() const { return arguments_; }

    // Starts the process; false when it could not be started.
    bool launch();
    // Starts the process and forgets it; the one reaper of the process
    // collects it when it exits, and tells `collected` its wait status on
    // the reaper's thread.
    bool launchDetached(std::function<void(int waitStatus)> collected = {});
    // Waits for a launched process; returns its exit status (-1 when killed or never started).
    int waitUntilExit();
    pid_t processIdentifier() const { return pid_; }

    // Whether a process of the user's system goes by `name`, as far as the
    // system keeps names (their first 15 characters).
    static bool anyProcessNamed(const std::string& name);

private:
    bool spawn();

    std::string launchPath_;
    std::vector<std::string> arguments_;
    pid_t pid_ = -1;
    bool waited_ = false;
    int status_ = -1;
};

}  // namespace platform
