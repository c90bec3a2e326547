#pragma once

#include "platform/foundation/Object.h"

#include <functional>
#include <string>

namespace platform {

class ApplicationDelegate {
public:
    enum class TerminateReply { Cancel = 0, Now = 1 };
    virtual ~ApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching() {}
    virtual TerminateReply applicationShouldTerminate() { return TerminateReply::Now; }
    virtual void applicationWillTerminate() {}
};

// The application object of the process: its delegate, activation and
// termination. Losing activation posts kApplicationDidResignActive on the
// default notification centre.
class Application {
public:
    static constexpr const char* kApplicationDidResignActive = "NSApplicationDidResignActiveNotification";

    static Application& shared();

    ApplicationDelegate* delegate() const { return delegate_; }
    void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }

    void activateIgnoringOtherApps();
    bool isActive() const { return active_; }
    // Called by the backend when another application became active.
    void resignActive();

    // Asks the delegate; on Now tells it the application will terminate and
    // ends the main run loop (or calls the termination handler).
    void terminate(Object* sender);
    bool isTerminated() const { return terminated_; }
    void setTerminationHandler(std::function<void()> handler) { terminationHandler_ = std::move(handler); }
    void setActivationHandler(std::function<void()> handler) { activationHandler_ = std::move(handler); }

    // Forget state between tests.
    void reset();

private:
    ApplicationDelegate* delegate_ = nullptr;
    bool active_ = false;
    bool terminated_ = false;
    std::function<void()> terminationHandler_;
    std::function<void()> activationHandler_;
};

}  // namespace platform
