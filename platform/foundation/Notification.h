#pragma once

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A notification: a name, an optional object and a user-info dictionary.
class Notification : public Object {
public:
    Notification(std::string name, Value object = {}, Dictionary userInfo = {})
        : name_(std::move(name)), object_(std::move(object)), userInfo_(std::move(userInfo)) {}

    const std::string& name() const { return name_; }
    const Value& object() const { return object_; }
    const Dictionary& userInfo() const { return userInfo_; }
    const Value& userInfoValue(const std::string& key) const;
    std::string description() const override;

private:
    std::string name_;
    Value object_;
    Dictionary userInfo_;
};

using NotificationRef = std::shared_ptr<const Notification>;

// The in-process notification centre. Posting is synchronous on the posting
// thread; observers may be added and removed from any thread. Once
// removeObserver returns, no delivery to that observer starts any more, and
// deliveries already under way on other threads have finished.
class NotificationCenter {
public:
    using Callback = std::function<void(const NotificationRef&)>;

    static NotificationCenter& defaultCenter();

    // `owner` identifies the observer for removal. An empty name matches every
    // name; a null object matches every object.
    void addObserver(const void* owner, std::string name, Value object, Callback callback);
    void removeObserver(const void* owner);
    void removeObserver(const void* owner, const std::string& name);

    void post(const NotificationRef& notification);
    void post(std::string name, Value object = {}, Dictionary userInfo = {});

    std::size_t observerCount() const;

private:
    struct Entry;
    void retire(const std::vector<std::shared_ptr<Entry>>& entries);

    mutable std::mutex lock_;
    std::vector<std::shared_ptr<Entry>> entries_;
};

}  // namespace platform
