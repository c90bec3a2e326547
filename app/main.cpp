// The Tarnwick application: builds the platform, loads the controller as its
// interface would, and runs the main run loop until the application ends.

#include "app/Tarnwick.h"
#include "app/TarnwickConstants.h"
#include "platform/foundation/RunLoop.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/services/Channel.h"
#include "platform/ui/Application.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <pthread.h>
#include <stdexcept>
#include <thread>

#ifdef TARNWICK_HAVE_DESKTOP
#include "platform/desktop/DesktopBackend.h"
#endif

namespace {

template <class Backend>
int runApplication(Backend& backend) {
    auto controller = std::make_unique<Tarnwick>();
    platform::Application::shared().setDelegate(controller.get());
    controller->awakeFromNib();
    // Finishing the launch is the run loop's first piece of work, as it is
    // once the interface has been loaded.
    platform::RunLoop::main().performOnMainThread([&controller] { controller->applicationDidFinishLaunching(); },
                                                  false);
    const int status = backend.exec();
    controller.reset();
    return status;
}

// Headless, nobody outside the process reaches the in-memory channel, so a
// termination signal stands in for the pane: it sends quit: over the channel,
// which the application refuses while the screen is locked.
class QuitOnSignal {
public:
    // To be called before any other thread exists, so that only the waiter
    // ever sees these signals.
    static void blockSignals() {
        const sigset_t signals = handledSignals();
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    }
    // The waiter hands work to the main run loop, so it must end before the
    // run loop does: construct after the backend.
    QuitOnSignal() : signals_(handledSignals()) { waiter_ = std::thread([this] { waitForSignals(); }); }
    ~QuitOnSignal() {
        pthread_kill(waiter_.native_handle(), SIGUSR1);
        waiter_.join();
    }

private:
    static sigset_t handledSignals() {
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGUSR1);
        return signals;
    }

    void waitForSignals() {
        for (;;) {
            int signal = 0;
            if (sigwait(&signals_, &signal) != 0 || signal == SIGUSR1) return;
            platform::RunLoop::main().performOnMainThread(
                [] {
                    auto remote = platform::ConnectionService::shared().lookup(kBundleName);
                    if (!remote) return;
                    try {
                        remote->quit();
                    } catch (const std::runtime_error&) {
                        // Gone already: the application is ending anyway.
                    }
                },
                false);
        }
    }

    sigset_t signals_;
    std::thread waiter_;
};

#ifdef TARNWICK_HAVE_DESKTOP
bool wantsDesktop() {
    const char* display = std::getenv("DISPLAY");
    const char* backend = std::getenv("TARNWICK_BACKEND");
    return display && *display && !(backend && std::strcmp(backend, "headless") == 0);
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef TARNWICK_HAVE_DESKTOP
    if (wantsDesktop()) {
        platform::desktop::DesktopBackend backend(argc, argv);
        return runApplication(backend);
    }
#else
    (void)argc;
    (void)argv;
#endif
    QuitOnSignal::blockSignals();
    platform::headless::HeadlessBackend backend;
    QuitOnSignal quitOnSignal;
    return runApplication(backend);
}
