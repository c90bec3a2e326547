#include "platform/headless/HeadlessWorkspace.h"

#include "platform/foundation/RunLoop.h"

#include <utility>

namespace platform::headless {

bool HeadlessWorkspace::openFile(const std::string& path, const std::string&) {
    if (statuses_.of(Call::OpenFile)) return false;
    std::lock_guard<std::mutex> guard(lock_);
    opened_.push_back(path);
    return true;
}

bool HeadlessWorkspace::launchApplication(const std::string& path, ExitObserver exited) {
    if (statuses_.of(Call::LaunchApplication)) return false;
    std::lock_guard<std::mutex> guard(lock_);
    launched_.push_back(path);
    exitObservers_.push_back(std::move(exited));
    return true;
}

void HeadlessWorkspace::endLaunchedApplication(std::size_t index, ApplicationExit exit) {
    ExitObserver observer;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (index >= exitObservers_.size()) return;
        observer = std::exchange(exitObservers_[index], nullptr);
    }
    if (observer) RunLoop::main().performOnMainThread([observer, exit] { observer(exit); }, false);
}

void HeadlessWorkspace::observeSleep(const void* owner, Observer willSleep, Observer didWake) {
    std::lock_guard<std::mutex> guard(lock_);
    observers_[owner] = {std::move(willSleep), std::move(didWake)};
}

void HeadlessWorkspace::removeSleepObserver(const void* owner) {
    std::lock_guard<std::mutex> guard(lock_);
    observers_.erase(owner);
}

std::vector<std::string> HeadlessWorkspace::openedFiles() const {
    std::lock_guard<std::mutex> guard(lock_);
    return opened_;
}

std::vector<std::string> HeadlessWorkspace::launchedApplications() const {
    std::lock_guard<std::mutex> guard(lock_);
    return launched_;
}

std::size_t HeadlessWorkspace::sleepObserverCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return observers_.size();
}

void HeadlessWorkspace::triggerWillSleep() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        sleepHeldBack_ = true;
    }
    deliver(true);
}

void HeadlessWorkspace::triggerDidWake() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        sleepHeldBack_ = false;
    }
    deliver(false);
}

void HeadlessWorkspace::sleepMayProceed() {
    std::lock_guard<std::mutex> guard(lock_);
    sleepHeldBack_ = false;
}

bool HeadlessWorkspace::sleepHeldBack() const {
    std::lock_guard<std::mutex> guard(lock_);
    return sleepHeldBack_;
}

void HeadlessWorkspace::deliver(bool willSleep) {
    std::vector<Observer> targets;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const auto& [owner, pair] : observers_) {
            const Observer& o = willSleep ? pair.first : pair.second;
            if (o) targets.push_back(o);
        }
    }
    RunLoop::main().performOnMainThread(
        [targets] {
            for (const Observer& o : targets) o();
        },
        true);
}

}  // namespace platform::headless
