#include "platform/foundation/Notification.h"

#include "platform/foundation/RunLoop.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace platform {

const Value& Notification::userInfoValue(const std::string& key) const {
    static const Value null;
    auto it = userInfo_.find(key);
    return it == userInfo_.end() ? null : it->second;
}

std::string Notification::description() const {
    return "NSConcreteNotification {name = " + name_ + "; object = " + object_.description() + "}";
}

struct NotificationCenter::Entry {
    const void* owner;
    std::string name;
    Value object;
    Callback callback;
    std::atomic<bool> alive{true};
    std::atomic<int> inFlight{0};

    bool matches(const Notification& n) const {
        if (!name.empty() && name != n.name()) return false;
        if (!object.isNull() && !(object == n.object())) return false;
        return true;
    }
};

namespace {

// Entries being delivered on this thread, so that an observer removing itself
// from inside its own callback does not wait for itself.
thread_local std::vector<const void*> deliveringHere;

int deliveriesOnThisThread(const void* entry) {
    return static_cast<int>(std::count(deliveringHere.begin(), deliveringHere.end(), entry));
}

}  // namespace

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(const void* owner, std::string name, Value object, Callback callback) {
    auto entry = std::make_shared<Entry>();
    entry->owner = owner;
    entry->name = std::move(name);
    entry->object = std::move(object);
    entry->callback = std::move(callback);
    std::lock_guard<std::mutex> guard(lock_);
    entries_.push_back(std::move(entry));
}

void NotificationCenter::removeObserver(const void* owner) {
    std::vector<std::shared_ptr<Entry>> removed;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto& e : entries_)
            if (e->owner == owner) removed.push_back(e);
        std::erase_if(entries_, [owner](const std::shared_ptr<Entry>& e) { return e->owner == owner; });
    }
    retire(removed);
}

void NotificationCenter::removeObserver(const void* owner, const std::string& name) {
    std::vector<std::shared_ptr<Entry>> removed;
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto hit = [&](const std::shared_ptr<Entry>& e) { return e->owner == owner && e->name == name; };
        for (auto& e : entries_)
            if (hit(e)) removed.push_back(e);
        std::erase_if(entries_, hit);
    }
    retire(removed);
}

void NotificationCenter::retire(const std::vector<std::shared_ptr<Entry>>& entries) {
    for (const auto& e : entries) e->alive.store(false);
    const bool onMain = RunLoop::isInstalled() && RunLoop::main().isMainThread();
    for (const auto& e : entries) {
        // Deliveries already under way on other threads finish before the
        // owner may go away. The main thread keeps serving handed-over work
        // meanwhile, since such a delivery may be waiting for it.
        while (e->inFlight.load() > deliveriesOnThisThread(e.get())) {
            if (onMain) RunLoop::main().servicePendingPerforms();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
}

void NotificationCenter::post(const NotificationRef& notification) {
    std::vector<std::shared_ptr<Entry>> targets;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto& e : entries_)
            if (e->matches(*notification)) targets.push_back(e);
    }
    for (auto& e : targets) {
        // Counted before the liveness check, so a removal either sees this
        // delivery and waits for it, or this delivery sees the removal.
        e->inFlight.fetch_add(1);
        // Undone even when the callback throws, or a later removal would wait forever.
        struct DeliveryGuard {
            Entry& entry;
            bool delivering = false;
            ~DeliveryGuard() {
                if (delivering) deliveringHere.pop_back();
                entry.inFlight.fetch_sub(1);
            }
        } guard{*e};
        if (e->alive.load()) {
            deliveringHere.push_back(e.get());
            guard.delivering = true;
            e->callback(notification);
        }
    }
}

void NotificationCenter::post(std::string name, Value object, Dictionary userInfo) {
    post(std::make_shared<const Notification>(std::move(name), std::move(object), std::move(userInfo)));
}

std::size_t NotificationCenter::observerCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return entries_.size();
}

}  // namespace platform
