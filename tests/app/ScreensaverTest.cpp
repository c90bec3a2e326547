#include "AppTestFixture.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace apptest {
namespace {

// A process that goes by `name`: a copy of sleep(1) under that name.
class NamedProcess {
public:
    NamedProcess(const std::string& folder, const std::string& name) : path_(folder + "/" + name) {
        std::filesystem::copy_file("/bin/sleep", path_, std::filesystem::copy_options::overwrite_existing);
        std::string seconds = "60";
        char* const arguments[] = {path_.data(), seconds.data(), nullptr};
        // posix_spawn returns once the program runs under its new name.
        if (::posix_spawn(&pid_, path_.c_str(), nullptr, nullptr, arguments, environ) != 0) pid_ = -1;
    }
    ~NamedProcess() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    bool started() const { return pid_ > 0; }
    // Whether it ended within a few seconds; a signal takes effect on its own time.
    bool ends() {
        for (int check = 0; check < 500; ++check) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    bool stillRuns() { return ::waitpid(pid_, nullptr, WNOHANG) == 0; }

private:
    std::string path_;
    pid_t pid_ = -1;
};

using Screensavers = AppTest;

// The bundled helper ends processes of exactly the screen saver's name (as
// far as the system keeps it) and leaves every other one alone.
TEST_F(Screensavers, TheLockEndsRunningScreensaversAndNothingElse) {
    if (!std::filesystem::exists("/bin/sleep")) GTEST_SKIP() << "needs /bin/sleep to stand in for a screen saver";
    launch();
    NamedProcess screensaver(env.home(), "ScreenSaverEngine");
    NamedProcess bystander(env.home(), "ScreenSaver");
    ASSERT_TRUE(screensaver.started() && bystander.started());
    lockAndSettle();
    ASSERT_EQ(app->getLock_status(), 1);
    EXPECT_TRUE(screensaver.ends());
    EXPECT_TRUE(bystander.stillRuns());
}

}  // namespace
}  // namespace apptest
