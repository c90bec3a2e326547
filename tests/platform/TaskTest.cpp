#include "platform/foundation/Task.h"
#include "platform/foundation/Thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>

namespace {

using platform::Task;

// The state letter of a process from /proc ('Z' for a zombie), or 0 when it is gone.
char processState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return 0;
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() ? text[close + 2] : 0;
}

bool becomesGone(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (processState(pid) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST(Task, ReportsTheExitStatus) {
    Task ok("/bin/sh", {"-c", "exit 0"});
    ASSERT_TRUE(ok.launch());
    EXPECT_EQ(ok.waitUntilExit(), 0);
    EXPECT_EQ(ok.waitUntilExit(), 0);  // asking again gives the same answer

    Task seven("/bin/sh", {"-c", "exit 7"});
    ASSERT_TRUE(seven.launch());
    EXPECT_EQ(seven.waitUntilExit(), 7);

    Task killed("/bin/sh", {"-c", "kill -9 $$"});
    ASSERT_TRUE(killed.launch());
    EXPECT_EQ(killed.waitUntilExit(), -1);
}

TEST(Task, MissingProgramDoesNotLaunch) {
    Task missing("/no/such/program", {});
    EXPECT_FALSE(missing.launch());
    EXPECT_EQ(missing.waitUntilExit(), -1);
    EXPECT_FALSE(missing.launchDetached());
}

TEST(Task, ArgumentsArriveUnchanged) {
    Task task("/bin/sh", {"-c", "test \"$1\" = 'a b %@ $x' && test \"$#\" = 1", "sh", "a b %@ $x"});
    ASSERT_TRUE(task.launch());
    EXPECT_EQ(task.waitUntilExit(), 0);
}

TEST(Task, DetachedTasksLeaveNoZombies) {
    std::vector<pid_t> pids;
    for (int i = 0; i < 5; ++i) {
        Task task("/bin/sh", {"-c", "exit 3"});
        ASSERT_TRUE(task.launchDetached());
        pids.push_back(task.processIdentifier());
    }
    for (pid_t pid : pids) EXPECT_TRUE(becomesGone(pid)) << "process " << pid << " state " << processState(pid);
}

TEST(Task, TaskDroppedWithoutWaitingIsStillCollected) {
    pid_t pid = -1;
    {
        Task task("/bin/sh", {"-c", "exit 0"});
        ASSERT_TRUE(task.launch());
        pid = task.processIdentifier();
    }
    EXPECT_TRUE(becomesGone(pid)) << "state " << processState(pid);
}

}  // namespace
