#include "app/AppTestFixture.h"

#include "platform/foundation/Task.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
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
    ASSERT_EQ(app->lockState(), LockState::Locked);
    EXPECT_TRUE(screensaver.ends());
    EXPECT_TRUE(bystander.stillRuns());
}

// The helper is started only while a screen saver runs, and nothing waits
// for it: a stand-in that takes its time has not finished when the call
// returns, and finishes by itself later.
TEST_F(Screensavers, TheHelperRunsOnlyForARunningScreensaverAndIsNotWaitedFor) {
    if (!std::filesystem::exists("/bin/sleep")) GTEST_SKIP() << "needs /bin/sleep to stand in for a screen saver";
    launch();
    EXPECT_FALSE(platform::Task::anyProcessNamed("ScreenSaverEngine")) << "nothing to end: no helper";

    const std::string realBundle = platform::Bundle::main().path();
    const std::string bundle = env.home() + "/Tarnwick.app";
    const std::string record = env.home() + "/helper-arguments";
    platform::FileManager::createDirectory(bundle + "/Contents/Resources", true);
    const auto info = platform::FileManager::readFile(realBundle + "/Contents/Info.plist");
    ASSERT_TRUE(info);
    ASSERT_TRUE(platform::FileManager::writeAtomically(bundle + "/Contents/Info.plist", *info));
    const std::string script = "#!/bin/sh\nsleep 0.5\necho \"$#:$*\" > '" + record + "'\n";
    ASSERT_TRUE(platform::FileManager::writeAtomically(bundle + "/Contents/Resources/pkill",
                                                       platform::Data(script.begin(), script.end()), 0755));

    NamedProcess screensaver(env.home(), "ScreenSaverEngine");
    ASSERT_TRUE(screensaver.started());
    EXPECT_TRUE(platform::Task::anyProcessNamed("ScreenSaverEngine"));
    platform::Bundle::setMainPath(bundle);
    app->terminateScreensavers();
    platform::Bundle::setMainPath(realBundle);
    EXPECT_FALSE(platform::FileManager::fileExists(record)) << "the call waited for the helper";

    std::optional<platform::Data> arguments;
    for (int check = 0; check < 500 && (!arguments || arguments->empty()); ++check) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        arguments = platform::FileManager::readFile(record);
    }
    ASSERT_TRUE(arguments) << "the helper ran";
    EXPECT_EQ(std::string(arguments->begin(), arguments->end()), "1:ScreenSaverEngine\n");
}

}  // namespace
}  // namespace apptest
