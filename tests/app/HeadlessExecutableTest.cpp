#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Value.h"
#include "shared/InputField.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// The Tarnwick executable as a process of its own in a private home with the
// pane installed and a password configured; on the headless backend unless
// a test changes the environment.
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
            for (const auto& [name, value] : environment) {
                if (value)
                    ::setenv(name.c_str(), value->c_str(), 1);
                else
                    ::unsetenv(name.c_str());
            }
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

    // What the process wrote on standard output and standard error.
    std::string output() const {
        std::ifstream file(home + "/output.txt");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::string home;
    platform::Dictionary settings;
    // Variables set (or, without a value, removed) for the process.
    std::map<std::string, std::optional<std::string>> environment{{"TARNWICK_BACKEND", "headless"}};
    pid_t pid = -1;
};

TEST_F(HeadlessExecutableTest, RunsUntilItIsAskedToQuit) {
    if (!platform::FileManager::fileExists(executable())) GTEST_SKIP() << "the Tarnwick executable is not built";
    start();
    EXPECT_EQ(exitStatusWithin(1.0), -1) << "a configured application keeps running";
    ::kill(pid, SIGTERM);
    EXPECT_EQ(exitStatusWithin(10.0), 0);
}

TEST_F(HeadlessExecutableTest, RefusesEverySignalThatWouldEndItWhileLocked) {
    if (!platform::FileManager::fileExists(executable())) GTEST_SKIP() << "the Tarnwick executable is not built";
    const std::pair<int, std::string> refused[] = {
        {SIGTERM, "SIGTERM"},     {SIGINT, "SIGINT"},
        {SIGHUP, "SIGHUP"},       {SIGQUIT, "SIGQUIT"},
        {SIGUSR1, "SIGUSR1"},     {SIGUSR2, "SIGUSR2"},
        {SIGALRM, "SIGALRM"},     {SIGVTALRM, "SIGVTALRM"},
        {SIGPROF, "SIGPROF"},     {SIGXCPU, "SIGXCPU"},
        {SIGXFSZ, "SIGXFSZ"},     {SIGIO, "SIGIO"},
        {SIGPWR, "SIGPWR"},       {SIGSTKFLT, "SIGSTKFLT"},
        {SIGRTMIN, "SIGRTMIN+0"}, {SIGRTMAX, "SIGRTMIN+" + std::to_string(SIGRTMAX - SIGRTMIN)}};
    settings["lockOnStartup"] = true;
    start();
    ASSERT_EQ(exitStatusWithin(1.0), -1);
    for (const auto& [signal, name] : refused) ::kill(pid, signal);
    ::kill(pid, SIGPIPE);
    EXPECT_EQ(exitStatusWithin(1.5), -1) << "a signal ended the locked application";
    const std::string log = output();
    for (const auto& [signal, name] : refused)
        EXPECT_NE(log.find(name + " refused: the screen is locked"), std::string::npos) << name;
}

TEST_F(HeadlessExecutableTest, RefusesToStartWhereItCannotLockTheSession) {
    if (!platform::FileManager::fileExists(executable())) GTEST_SKIP() << "the Tarnwick executable is not built";
    using Variables = std::map<std::string, std::optional<std::string>>;
    struct Case {
        Variables environment;
        const char* says;
    };
    // Without DISPLAY a refused Wayland session shows no dialog; a compositor
    // that cannot be reached shows none either.
    const Variables desktop{{"TARNWICK_BACKEND", std::nullopt},
                            {"DISPLAY", std::nullopt},
                            {"WAYLAND_DISPLAY", std::nullopt},
                            {"XDG_SESSION_TYPE", std::nullopt},
                            {"TARNWICK_ALLOW_WAYLAND", std::nullopt}};
#ifdef TARNWICK_TEST_DESKTOP_BACKEND
    const Case cases[] = {
        {{{"WAYLAND_DISPLAY", "tarnwick-no-such-compositor"}}, "cannot reach the Wayland compositor"},
        {{{"XDG_SESSION_TYPE", "wayland"}}, "this session is Wayland"},
        {{{"XDG_SESSION_TYPE", "x11"}}, "DISPLAY is not set"},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"TARNWICK_ALLOW_WAYLAND", "1"}}, "DISPLAY is not set"},
        {{{"DISPLAY", ":4093"}}, "cannot open the X display \":4093\""},
    };
#else
    const Case cases[] = {{{}, "built without its desktop backend"}};
#endif
    for (const Case& c : cases) {
        environment = desktop;
        for (const auto& [name, value] : c.environment) environment[name] = value;
        start();
        const int status = exitStatusWithin(10.0);
        ASSERT_NE(status, -1) << "still running where it cannot lock: " << c.says;
        EXPECT_EQ(status, EXIT_FAILURE) << c.says;
        EXPECT_NE(output().find(c.says), std::string::npos) << output();
    }
}

TEST_F(HeadlessExecutableTest, EndsAtOnceWithoutAPassword) {
    if (!platform::FileManager::fileExists(executable())) GTEST_SKIP() << "the Tarnwick executable is not built";
    settings.erase("password");
    start();
    EXPECT_EQ(exitStatusWithin(10.0), 0);
}

}  // namespace
