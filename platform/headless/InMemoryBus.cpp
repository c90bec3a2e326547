#include "platform/headless/InMemoryBus.h"

#include "platform/foundation/RunLoop.h"

#include <algorithm>

namespace platform::headless {

void InMemoryBus::addObserver(const void* endpoint, const void* owner, const std::string& name,
                              const std::string& object, Callback callback) {
    std::lock_guard<std::mutex> guard(lock_);
    observers_.push_back(
        Observer{endpoint, owner, name, object, std::move(callback), std::make_shared<std::atomic<bool>>(true)});
}

void InMemoryBus::removeObserver(const void* endpoint, const void* owner) {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(observers_, [&](const Observer& o) {
        if (o.endpoint != endpoint || o.owner != owner) return false;
        o.alive->store(false);
        return true;
    });
}

void InMemoryBus::post(const std::string& name, const std::string& object) {
    std::vector<Observer> targets;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (postFails_) return;
        posted_.emplace_back(name, object);
        for (const Observer& o : observers_)
            if (o.name == name && (o.object.empty() || o.object == object)) targets.push_back(o);
    }
    for (Observer& o : targets) {
        RunLoop::main().performOnMainThread(
            [o, name, object] {
                if (o.alive->load()) o.callback(name, object);
            },
            false);
    }
}

bool InMemoryBus::registerName(const std::string& name, ConnectionRoot* root, const void* connection) {
    std::lock_guard<std::mutex> guard(lock_);
    if (registrationFails_ || !root || names_.count(name)) return false;
    names_[name] = Registration{root, connection};
    return true;
}

void InMemoryBus::unregisterConnection(const void* connection) {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(names_, [&](const auto& entry) { return entry.second.connection == connection; });
}

ConnectionRoot* InMemoryBus::rootForName(const std::string& name) const {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = names_.find(name);
    return it == names_.end() ? nullptr : it->second.root;
}

void InMemoryBus::setRegistrationFails(bool fails) {
    std::lock_guard<std::mutex> guard(lock_);
    registrationFails_ = fails;
}

void InMemoryBus::setPostFails(bool fails) {
    std::lock_guard<std::mutex> guard(lock_);
    postFails_ = fails;
}

std::vector<std::pair<std::string, std::string>> InMemoryBus::posted() const {
    std::lock_guard<std::mutex> guard(lock_);
    return posted_;
}

std::size_t InMemoryBus::postedCount(const std::string& name) const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<std::size_t>(
        std::count_if(posted_.begin(), posted_.end(), [&](const auto& p) { return p.first == name; }));
}

}  // namespace platform::headless
