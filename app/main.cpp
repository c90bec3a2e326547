// The Tarnwick application: builds the platform, loads the controller as its
// interface would, and runs the main run loop until the application ends.

#include "app/Tarnwick.h"
#include "platform/foundation/RunLoop.h"
#include "platform/headless/HeadlessBackend.h"
#include "platform/ui/Application.h"

#include <cstdlib>
#include <cstring>
#include <memory>

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
    platform::headless::HeadlessBackend backend;
    return runApplication(backend);
}
