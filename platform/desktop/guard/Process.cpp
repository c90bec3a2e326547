#include "platform/desktop/guard/Process.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

namespace platform::desktop::guard {

namespace {

constexpr int kRefusedSignals[] = {SIGINT, SIGHUP, SIGTERM, SIGQUIT, SIGPIPE};

}  // namespace

void note(const std::string& line) {
    ::syslog(LOG_NOTICE, "tarnwick-guard: %s", line.c_str());
    std::fprintf(stderr, "tarnwick-guard: %s\n", line.c_str());
    std::fflush(stderr);
}

double monotonicSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void detachFromSession(int channel) {
    // The application blocks the signals it serves on its main loop before it
    // starts the guard, and a blocked mask survives exec: cleared here, it is
    // clear for the application the guard starts again too.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal : kRefusedSignals) std::signal(signal, SIG_IGN);
    ::setsid();
    ::prctl(PR_SET_NAME, "tarnwick-guard", 0, 0, 0);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    if (channel > 3) ::close_range(3, static_cast<unsigned>(channel) - 1, 0);
    ::close_range(static_cast<unsigned>(std::max(channel + 1, 3)), ~0U, 0);
    ::openlog("tarnwick-guard", LOG_PID, LOG_USER);
}

void startDetached(const std::string& application) {
    if (application.empty() || ::access(application.c_str(), X_OK) != 0) {
        note("cannot start the application again: " + application);
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::fork() == 0) {
            ::setsid();
            for (int signal : kRefusedSignals) std::signal(signal, SIG_DFL);
            ::execl(application.c_str(), application.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        _exit(0);
    }
    if (child > 0) ::waitpid(child, nullptr, 0);
}

}  // namespace platform::desktop::guard
