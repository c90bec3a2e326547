#include "platform/ui/Application.h"

#include "platform/foundation/Notification.h"
#include "platform/foundation/RunLoop.h"

namespace platform {

Application& Application::shared() {
    static Application application;
    return application;
}

void Application::activateIgnoringOtherApps() {
    active_ = true;
    if (activationHandler_) activationHandler_();
}

void Application::resignActive() {
    active_ = false;
    NotificationCenter::defaultCenter().post(kApplicationDidResignActive);
}

void Application::terminate(Object*) {
    if (delegate_ && delegate_->applicationShouldTerminate() != ApplicationDelegate::TerminateReply::Now) return;
    if (delegate_) delegate_->applicationWillTerminate();
    terminated_ = true;
    if (terminationHandler_)
        terminationHandler_();
    else if (RunLoop::isInstalled())
        RunLoop::main().stop();
}

void Application::reset() {
    delegate_ = nullptr;
    active_ = false;
    terminated_ = false;
    terminationHandler_ = nullptr;
    activationHandler_ = nullptr;
}

}  // namespace platform
