#pragma once

#include "platform/foundation/Clock.h"
#include "platform/foundation/QueueRunLoop.h"
#include "platform/headless/ScriptedAlertPresenter.h"
#include "shared/PreferencesContract.h"

#include <mutex>
#include <string>
#include <vector>

namespace platform::headless {

// The common ground of headless tests: a private HOME with its XDG folders, a
// manual clock, the main run loop on the calling thread, scripted alerts, the
// standard defaults on the given domain, and captured log lines.
// Services of their own (displays, cameras, Bluetooth …) are installed by the
// tests that need them.
class HeadlessEnvironment {
public:
    explicit HeadlessEnvironment(const std::string& defaultsDomain = kBundleName);
    ~HeadlessEnvironment();
    HeadlessEnvironment(const HeadlessEnvironment&) = delete;
    HeadlessEnvironment& operator=(const HeadlessEnvironment&) = delete;

    const std::string& home() const { return home_; }
    ManualClock& clock() { return clock_; }
    QueueRunLoop& runLoop() { return runLoop_; }
    ScriptedAlertPresenter& alerts() { return alerts_; }

    // Runs the main run loop for `seconds` of manual time.
    void advance(double seconds) { runLoop_.runFor(seconds); }

    std::vector<std::string> logLines() const;
    // Lines containing `text`.
    std::vector<std::string> logLinesContaining(const std::string& text) const;
    bool logged(const std::string& text) const { return !logLinesContaining(text).empty(); }
    void clearLog();

private:
    std::string home_;
    std::vector<std::pair<std::string, std::string>> savedEnvironment_;
    ManualClock clock_;
    QueueRunLoop runLoop_;
    ScriptedAlertPresenter alerts_;
    mutable std::mutex logLock_;
    std::vector<std::string> lines_;
};

}  // namespace platform::headless
