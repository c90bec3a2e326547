#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Value.h"
#include "shared/InputField.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// The Tarnwick executable on the headless backend, as a process of its own
// in a private home with the pane installed and a password configured.
class HeadlessExecutableTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarnwick-exe-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        home = pattern;
        platform::FileManager::createDirectory(home + "/.local/share/PreferencePanes/Tarnwick.prefPane", true);
        InputField field;
        field.setStringValue("pw");
        settings["password"] = field.md5String();
    }
    void TearDown() override {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        platform::FileManager::removeItem(home);
    }

    static std::string executable() {
        char buffer[4096];
        const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        const std::string exe(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        const std::string build = platform::paths::deletingLastComponent(platform::paths::deletingLastComponent(exe));
        return build + "/Tarnwick.prefPane/Tarnwick.app/Contents/MacOS/Tarnwick";
    }

    void start() {
        const std::string folder = home + "/.config/preferences";
        platform::FileManager::createDirectory(folder, true);
        platform::FileManager::writeAtomically(folder + "/com.quillmere.Tarnwick.plist",
                                               platform::plist::serialize(platform::Value(settings)), 0600);
        const std::string path = executable();
        pid = ::fork();
        if (pid == 0) {
            ::setenv("HOME", home.c_str(), 1);
            ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
            ::setenv("XDG_DATA_DIRS", (home + "/system").c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
            ::setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
            ::setenv("TARNWICK_BACKEND", "headless", 1);
            const int log = ::open((home + "/output.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (log >= 0) {
                ::dup2(log, STDOUT_FILENO);
                ::dup2(log, STDERR_FILENO);
            }
            ::execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    // The exit status once the process has ended within `seconds`, or -1.
    int exitStatusWithin(double seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    std::string home;
    platform::Dictionary settings;
    pid_t pid = -1;
};

TEST_F(HeadlessExecutableTest, RunsUntilItIsAskedToQuit) {
    if (!platform::FileManager::fileExists(executable())) GTEST_SKIP() << "the Tarnwick executable is not built";
    start();
    EXPECT_EQ(exitStatusWithin(1.0), -1) << "a configured application keeps running";
    ::kill(pid, SIGTERM);
    EXPECT_EQ(exitStatusWithin(10.0), 0);
}

TEST_F(HeadlessExecutableTest, RefusesToQuitWhileLocked) {
    if (!platform::FileManager::fileExists(executable())) GTEST_SKIP() << "the Tarnwick executable is not built";
    settings["lockOnStartup"] = true;
    start();
    EXPECT_EQ(exitStatusWithin(1.0), -1);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(exitStatusWithin(1.5), -1) << "quit: is refused while the screen is locked";
}

TEST_F(HeadlessExecutableTest, EndsAtOnceWithoutAPassword) {
    if (!platform::FileManager::fileExists(executable())) GTEST_SKIP() << "the Tarnwick executable is not built";
    settings.erase("password");
    start();
    EXPECT_EQ(exitStatusWithin(10.0), 0);
}

}  // namespace
