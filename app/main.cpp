// The Tarnwick application: builds the platform, loads the controller as its
// interface would, and runs the main run loop until the application ends.

#include "app/CommandLine.h"
#include "app/Tarnwick.h"
#include "platform/foundation/LogSink.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/TerminationSignals.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/ui/Application.h"
#include "shared/QMASL.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifdef TARNWICK_HAVE_DESKTOP
#include "platform/desktop/DesktopBackend.h"
#include "platform/desktop/SessionCheck.h"
#include "platform/desktop/qt/ToolkitOptions.h"
#endif

namespace {

// A signal that would end the process is a quit: request, which the
// application refuses while the screen is locked or a lock is being set up.
void quitOnSignal(Tarnwick& tarnwick, int signal) {
    platform::Application& application = platform::Application::shared();
    if (application.isTerminated()) return;
    tarnwick.quit(nullptr);
    const std::string name = platform::TerminationSignals::name(signal);
    if (application.isTerminated())
        QMLog(6, "%s: quitting", name.c_str());
    else
        QMLog(4, "%s refused: the screen is locked", name.c_str());
}

template <class Backend>
int runApplication(Backend& backend) {
    auto controller = std::make_unique<Tarnwick>();
    platform::Application::shared().setDelegate(controller.get());
    controller->awakeFromNib();
    // Finishing the launch is the run loop's first piece of work, as it is
    // once the interface has been loaded.
    platform::RunLoop::main().performOnMainThread([&controller] { controller->applicationDidFinishLaunching(); },
                                                  false);
    int status = 0;
    {
        // The waiter hands work to the run loop and to the controller: it
        // ends before either does. Signals that came before it are pending
        // and reach it now.
        platform::TerminationSignals signals([&controller](int signal) { quitOnSignal(*controller, signal); });
        status = backend.exec();
    }
    platform::Application::shared().setDelegate(nullptr);
    controller.reset();
    return status;
}

bool headlessRequested() {
    const char* backend = std::getenv("TARNWICK_BACKEND");
    return backend && std::strcmp(backend, "headless") == 0;
}

// Headless, the backend locks nothing real: it runs only when asked for.
int runHeadless() {
    platform::TerminationSignals::block();
    platform::headless::HeadlessBackend backend;
    return runApplication(backend);
}

int runDesktop([[maybe_unused]] int& argc, [[maybe_unused]] char** argv) {
#ifdef TARNWICK_HAVE_DESKTOP
    namespace desktop = platform::desktop;
    if (auto refusal = desktop::checkSession(desktop::SessionEnvironment::current()))
        return desktop::refuseToStart(*refusal, argc, argv);
    // Qt and the lock guard start threads and processes of their own.
    platform::TerminationSignals::block();
    desktop::DesktopBackend backend(argc, argv);
    return runApplication(backend);
#else
    platform::LogSink::write(
        "Tarnwick was built without its desktop backend and cannot lock this session. To run its in-memory "
        "backend instead, set TARNWICK_BACKEND=headless.");
    return EXIT_FAILURE;
#endif
}

CommandLine::ToolkitOptions backendToolkitOptions() {
#ifdef TARNWICK_HAVE_DESKTOP
    return platform::desktop::toolkitOptionValues;
#else
    return {};
#endif
}

constexpr int kUsageError = 2;

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments =
        argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
    const CommandLine commandLine = CommandLine::parse(arguments, backendToolkitOptions());
    switch (commandLine.request()) {
        case CommandLine::Request::ShowHelp: std::fputs(CommandLine::usage().c_str(), stdout); return EXIT_SUCCESS;
        case CommandLine::Request::ShowVersion: std::printf("Tarnwick %s\n", TARNWICK_VERSION); return EXIT_SUCCESS;
        case CommandLine::Request::UsageError:
            std::fprintf(stderr, "Tarnwick: %s (see --help)\n", commandLine.problem().c_str());
            return kUsageError;
        case CommandLine::Request::Run: break;
    }
    return headlessRequested() ? runHeadless() : runDesktop(argc, argv);
}
