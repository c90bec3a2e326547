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

#include <exception>

namespace {

constexpr double kRestartDelaySeconds = 1.0;

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
    const bool launched = platform::Workspace::shared().launchApplication(bundle);
    if (!launched) QMLog(3, "Cannot launch %@", bundle);
    platform::Application::shared().activateIgnoringOtherApps();
    return launched;
}

void PreferenceController::stopApplicationOnItsOwnThread() {
    stopsUnderWay_->fetch_add(1);
    platform::Thread::detach([this, alive = alive_, underWay = stopsUnderWay_] {
        if (alive->load()) stopApplication();
        underWay->fetch_sub(1);
    });
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
