#pragma once

#include <atomic>
#include <csignal>
#include <functional>
#include <string>
#include <thread>

namespace platform {

// The signals whose default action would end the process (SIGTERM, SIGINT,
// SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
// SIGXFSZ, SIGIO, SIGPWR, SIGSTKFLT and the real-time ones) become requests
// served on the main run loop, where the application decides: a locked
// screen must not open because someone sent a signal. A waiter thread takes
// them with sigwait. SIGPIPE is ignored: a vanished peer is an error return,
// never the end of the process. Crashes (SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGABRT, SIGTRAP, SIGSYS) keep their default action; SIGKILL and SIGSTOP
// cannot be caught.
class TerminationSignals {
public:
    // Blocks the signals in the calling thread, which must still be the only
    // one: later threads inherit the mask, so only the waiter ever takes
    // them. Tasks get the default mask and actions back when they start.
    static void block();
    static sigset_t caught();
    // "SIGTERM", "SIGRTMIN+2".
    static std::string name(int signal);

    // Starts the waiter; each caught signal calls `handler` on the main run loop.
    explicit TerminationSignals(std::function<void(int signal)> handler);
    // Ends the waiter; the main run loop it hands work to must still exist.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void waitForSignals();

    std::function<void(int)> handler_;
    std::atomic<bool> ending_{false};
    std::thread waiter_;
};

}  // namespace platform
