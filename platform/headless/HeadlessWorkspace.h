#pragma once

#include "platform/headless/InjectedStatus.h"
#include "platform/services/Workspace.h"

#include <map>
#include <mutex>
#include <vector>

namespace platform::headless {

// The workspace in memory: it records opened files and launched
// applications, and tests put the computer to sleep and wake it.
class HeadlessWorkspace final : public Workspace {
public:
    enum class Call { OpenFile, LaunchApplication };

    bool openFile(const std::string& path, const std::string& application = {}) override;
    bool launchApplication(const std::string& path, ExitObserver exited) override;
    void observeSleep(const void* owner, Observer willSleep, Observer didWake) override;
    void removeSleepObserver(const void* owner) override;
    void sleepMayProceed() override;

    // Any non-zero status makes the call answer false.
    void failCall(Call call, int status) { statuses_.set(call, status); }
    void clearFailures() { statuses_.clear(); }
    std::vector<std::string> openedFiles() const;
    std::vector<std::string> launchedApplications() const;
    std::size_t sleepObserverCount() const;
    // The process of the `index`th launched application ends as `exit` says;
    // its observer hears of it on the main thread.
    void endLaunchedApplication(std::size_t index, ApplicationExit exit);

    // The will-sleep and did-wake notifications, delivered on the main thread.
    void triggerWillSleep();
    void triggerDidWake();
    // Between will-sleep and the observers' word that sleep may go on.
    bool sleepHeldBack() const;

private:
    void deliver(bool willSleep);

    InjectedStatus<Call> statuses_;
    mutable std::mutex lock_;
    std::vector<std::string> opened_;
    std::vector<std::string> launched_;
    std::vector<ExitObserver> exitObservers_;
    std::map<const void*, std::pair<Observer, Observer>> observers_;
    bool sleepHeldBack_ = false;
};

}  // namespace platform::headless
