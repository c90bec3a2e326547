#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace platform {

// Collects child processes that nobody waits for (scripts, programs opened
// for the user), however many run and however long: one thread waits for
// all of them through process file descriptors, and it runs only while
// there is a child to collect.
class ChildReaper {
public:
    static ChildReaper& shared();
    ~ChildReaper();

    // Told, on the reaper's thread, the child's wait status once collected.
    using Collected = std::function<void(int waitStatus)>;
    void adopt(pid_t pid, Collected collected = {});
    // Children adopted and not yet collected, for tests.
    std::size_t pending();

private:
    ChildReaper();
    void run();
    void wake();

    std::mutex lock_;
    struct Child {
        pid_t pid;
        Collected collected;
    };
    std::vector<Child> incoming_;
    std::size_t pending_ = 0;
    bool running_ = false;
    bool stopping_ = false;
    int wakeup_ = -1;  // an eventfd: new children or the end
    std::thread thread_;
};

}  // namespace platform
