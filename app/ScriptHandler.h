#pragma once

#include "app/ApplicationDelegateAccess.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Runs the user's script for each event that has one, through the shell and
// without waiting for it. A run that wants the event's photo waits until the
// photo with the event's time stamp is ready.
class ScriptHandler : public platform::Object {
public:
    // Without a delegate the computer counts as awake.
    ScriptHandler();
    explicit ScriptHandler(TarnwickDelegate* delegate);
    ~ScriptHandler() override;

    void incomingEvent(const platform::NotificationRef& notification);
    void photoReady(const platform::NotificationRef& notification);
    // Builds the command of a run request ("timestamp", "script", "event",
    // optionally "image") and launches it; runs on a background thread.
    static void executeScript(platform::Dictionary request);

    // Number of run requests waiting for their photo.
    std::size_t pendingScriptCount() const;
    // Runs whose background thread has not finished launching yet.
    int runsUnderWay() const { return runsUnderWay_->load(); }

private:
    bool photoWillFollow(const std::string& scriptKey, const platform::Value& timestamp) const;
    void executeInBackground(platform::Dictionary request);

    TarnwickDelegate* delegate_ = nullptr;
    mutable std::mutex scriptsToExecuteLock_;
    std::vector<platform::Dictionary> scriptsToExecute_;
    // Shared with the background threads, which may outlive the handler.
    std::shared_ptr<std::atomic<int>> runsUnderWay_ = std::make_shared<std::atomic<int>>(0);
};
