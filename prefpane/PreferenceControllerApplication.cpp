#include "prefpane/PreferenceController.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Thread.h"
#include "platform/services/Channel.h"
#include "platform/services/Workspace.h"
#include "platform/ui/Application.h"
#include "shared/QMASL.h"
#include "shared/TarnwickConstants.h"
#include "shared/TarnwickPaths.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace {

constexpr double kRestartDelaySeconds = 1.0;
constexpr double kStopThreadPollSeconds = 0.01;

}  // namespace

std::optional<std::string> PreferenceController::pathToTarnwickInfo() {
    if (thePathToTarnwickInfo) return thePathToTarnwickInfo;
    const std::optional<std::string> pane = TarnwickPaths::pathToPreferencesBundle();
    if (!pane) return std::nullopt;
    thePathToTarnwickInfo = platform::paths::appendComponent(*pane, "Tarnwick.app/Contents/Info.plist");
    return thePathToTarnwickInfo;
}

std::optional<platform::Dictionary> PreferenceController::tarnwickInfo() {
    const std::optional<std::string> path = pathToTarnwickInfo();
    if (!path) return std::nullopt;
    const std::optional<platform::Value> info = platform::plist::readFile(*path);
    if (!info || !info->isDictionary()) return std::nullopt;
    return info->dictionaryValue();
}

bool PreferenceController::applicationIsRunning() const {
    return platform::ConnectionService::shared().lookup(kBundleName) != nullptr;
}

void PreferenceController::showApplicationState(ApplicationButtonState state) {
    applicationState_ = state;
    if (!startStopButton) return;
    switch (state) {
        case ApplicationButtonState::Stopped:
            startStopButton->setTitle("Start");
            startStopButton->setTag(0);
            // Without a password the application cannot be started.
            startStopButton->setEnabled(!currentPasswordMd5.empty());
            return;
        case ApplicationButtonState::Running:
            startStopButton->setTitle("Stop");
            startStopButton->setTag(1);
            startStopButton->setEnabled(true);
            return;
        case ApplicationButtonState::Waiting:
            startStopButton->setTitle("Waiting\u2026");
            startStopButton->setEnabled(false);
            return;
    }
}

void PreferenceController::setupStartStopButton() {
    if (applicationIsRunning()) showApplicationState(ApplicationButtonState::Running);
}

void PreferenceController::startStopApplication(platform::Object*) {
    showApplicationEnd("");
    showApplicationState(ApplicationButtonState::Waiting);
    if (startStopButton && startStopButton->tag() == 1) {
        stopApplicationOnItsOwnThread();
        return;
    }
    // A launch that could not even be asked for would leave the button
    // waiting for an application that never comes.
    if (!launchApplication()) showApplicationState(ApplicationButtonState::Stopped);
}

bool PreferenceController::launchApplication() {
    const std::optional<std::string> info = pathToTarnwickInfo();
    if (!info) return false;
    const std::string bundle = platform::paths::deletingLastComponent(platform::paths::deletingLastComponent(*info));
    const int launch = ++launches_;
    quitRequested_ = false;
    const bool launched = platform::Workspace::shared().launchApplication(
        bundle, [this, alive = alive_, launch](const platform::Workspace::ApplicationExit& exit) {
            if (alive->load()) applicationExited(launch, exit);
        });
    if (!launched) QMLog(3, "Cannot launch %@", bundle);
    platform::Application::shared().activateIgnoringOtherApps();
    return launched;
}

// The pane waits for the thread as it goes (waitForStopThreads), so the
// thread never outlives it.
void PreferenceController::stopApplicationOnItsOwnThread() {
    quitRequested_ = true;
    std::erase_if(stopThreads_, [](const std::shared_ptr<platform::Thread>& t) { return !t->isExecuting(); });
    auto thread = std::make_shared<platform::Thread>([this](platform::Thread& self) {
        if (!self.isCancelled()) stopApplication();
    });
    stopThreads_.push_back(thread);
    thread->start();
}

int PreferenceController::stopsUnderWay() const {
    return static_cast<int>(std::count_if(stopThreads_.begin(), stopThreads_.end(),
                                          [](const std::shared_ptr<platform::Thread>& t) { return t->isExecuting(); }));
}

// A request to the application ends within its time-out; meanwhile the
// main run loop's work from other threads (the request itself, headless)
// goes on, and what it would do for the pane is dropped.
void PreferenceController::waitForStopThreads() {
    for (const auto& thread : stopThreads_) {
        thread->cancel();
        while (!thread->waitUntilFinished(kStopThreadPollSeconds))
            if (platform::RunLoop::isInstalled()) platform::RunLoop::main().servicePendingPerforms();
    }
    stopThreads_.clear();
}

void PreferenceController::applicationExited(int launch, const platform::Workspace::ApplicationExit& exit) {
    // An older launch, one the pane asked to quit, or one that has said it stopped.
    if (launch != launches_ || quitRequested_ || applicationState_ == ApplicationButtonState::Stopped) return;
    const bool starting = applicationState_ == ApplicationButtonState::Waiting;
    showApplicationState(ApplicationButtonState::Stopped);
    showApplicationEnd(applicationEndText(exit, starting));
}

std::string PreferenceController::applicationEndText(const platform::Workspace::ApplicationExit& exit, bool starting) {
    if (exit.signal != 0) return std::string("Tarnwick ended unexpectedly (") + ::strsignal(exit.signal) + ").";
    if (exit.status != 0)
        return (starting ? "Tarnwick could not start (exit status " : "Tarnwick ended (exit status ") +
               std::to_string(exit.status) + "); its log says why.";
    return starting ? "Tarnwick ended as it started; its log says why." : "";
}

void PreferenceController::showApplicationEnd(const std::string& text) {
    if (!applicationStatus) return;
    applicationStatus->setStringValue(text);
    applicationStatus->setHidden(text.empty());
}

void PreferenceController::stopApplication() {
    if (!applicationIsRunning()) {
        performOnMainThread([this] { showApplicationState(ApplicationButtonState::Stopped); });
        return;
    }
    // The application's "stopNotification" completes the cycle; one that
    // cannot be reached, or refuses, leaves the button waiting for it.
    try {
        if (auto root = platform::ConnectionService::shared().lookup(kBundleName)) root->quit();
    } catch (const std::exception&) {}
}

void PreferenceController::setupApplicationListener() {
    auto& center = platform::DistributedNotificationCenter::shared();
    auto deliver = [this](void (PreferenceController::*handler)(const platform::Notification&)) {
        return [this, handler](const std::string& name, const std::string& object) {
            (this->*handler)(platform::Notification(name, object));
        };
    };
    center.addObserver(this, kStopNotification, kBundleName, deliver(&PreferenceController::applicationDidStop));
    center.addObserver(this, kStartNotification, kBundleName, deliver(&PreferenceController::applicationDidStart));
    center.addObserver(this, kVideoLockFailedNotification, kBundleName,
                       deliver(&PreferenceController::videoLockFailed));
}

void PreferenceController::stopApplicationListener() {
    platform::DistributedNotificationCenter::shared().removeObserver(this);
}

void PreferenceController::applicationDidStart(const platform::Notification&) {
    showApplicationState(ApplicationButtonState::Running);
}

void PreferenceController::applicationDidStop(const platform::Notification&) {
    if (!wantRestart) {
        showApplicationState(ApplicationButtonState::Stopped);
        return;
    }
    wantRestart = false;
    // The button waits on until the new instance announces itself.
    std::erase_if(pendingPerforms_, [](const platform::TimerRef& t) { return !t->isValid(); });
    pendingPerforms_.push_back(platform::RunLoop::main().performAfterDelay(kRestartDelaySeconds, [this] {
        if (!launchApplication()) showApplicationState(ApplicationButtonState::Stopped);
    }));
}

void PreferenceController::videoLockFailed(const platform::Notification&) {
    QMLog(7, "Resetting video menu selection to 'Don't take photos'.");
    if (videoPopupButton) videoPopupButton->selectItemAtIndex(0);
}
