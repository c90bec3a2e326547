#include "platform/foundation/TerminationSignals.h"

#include "platform/foundation/RunLoop.h"

#include <cstring>
#include <pthread.h>

namespace platform {

namespace {

constexpr int kNamedSignals[] = {SIGTERM,   SIGINT,  SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
                                 SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGIO,   SIGPWR,  SIGSTKFLT};

void ignore(int) {}

}  // namespace

sigset_t TerminationSignals::caught() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : kNamedSignals) sigaddset(&signals, signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&signals, signal);
    return signals;
}

void TerminationSignals::block() {
    const sigset_t signals = caught();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A thread that unblocks them for its own purposes (a library's) must
    // not let their default action end the process: there they do nothing.
    struct sigaction nothing {};
    nothing.sa_handler = ignore;
    sigemptyset(&nothing.sa_mask);
    nothing.sa_flags = SA_RESTART;
    for (int signal = 1; signal < NSIG; ++signal)
        if (sigismember(&signals, signal) == 1) sigaction(signal, &nothing, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

std::string TerminationSignals::name(int signal) {
    if (signal >= SIGRTMIN && signal <= SIGRTMAX) return "SIGRTMIN+" + std::to_string(signal - SIGRTMIN);
    // The C library calls it by its System V name, SIGPOLL; kill -l says IO.
    if (signal == SIGIO) return "SIGIO";
    const char* abbreviation = sigabbrev_np(signal);
    return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
}

TerminationSignals::TerminationSignals(std::function<void(int)> handler) : handler_(std::move(handler)) {
    waiter_ = std::thread([this] { waitForSignals(); });
}

TerminationSignals::~TerminationSignals() {
    ending_ = true;
    // Any caught signal wakes the waiter; sent to it alone, it reaches nobody else.
    // The waiter takes it with sigwait: it ends no thread.
    pthread_kill(waiter_.native_handle(), SIGTERM);  // NOLINT(bugprone-bad-signal-to-kill-thread)
    waiter_.join();
}

void TerminationSignals::waitForSignals() {
    const sigset_t signals = caught();
    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) continue;
        if (ending_) return;
        RunLoop::main().performOnMainThread([handler = handler_, signal] { handler(signal); }, false);
    }
}

}  // namespace platform
