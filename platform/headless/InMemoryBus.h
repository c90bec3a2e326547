#pragma once

#include "platform/services/Channel.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace platform::headless {

// The session bus of the headless backend: distributed notifications and
// registered connection names shared by every endpoint in this process, so
// that one test can stand for both the application and the pane.
class InMemoryBus {
public:
    using Callback = DistributedNotificationCenter::Callback;

    void addObserver(const void* endpoint, const void* owner, const std::string& name, const std::string& object,
                     Callback callback);
    void removeObserver(const void* endpoint, const void* owner);
    // Every matching observer of every endpoint is called later on the main
    // run loop, unless it was removed in between.
    void post(const std::string& name, const std::string& object);

    // False when the name is taken or registration was made to fail.
    bool registerName(const std::string& name, ConnectionRoot* root, const void* connection);
    void unregisterConnection(const void* connection);
    ConnectionRoot* rootForName(const std::string& name) const;
    bool isRegistered(const std::string& name) const { return rootForName(name) != nullptr; }

    void setRegistrationFails(bool fails);
    void setPostFails(bool fails);
    // Every notification posted on the bus, in order: (name, object).
    std::vector<std::pair<std::string, std::string>> posted() const;
    std::size_t postedCount(const std::string& name) const;

private:
    struct Observer {
        const void* endpoint;
        const void* owner;
        std::string name;
        std::string object;
        Callback callback;
        std::shared_ptr<std::atomic<bool>> alive;
    };
    struct Registration {
        ConnectionRoot* root;
        const void* connection;
    };

    mutable std::mutex lock_;
    std::vector<Observer> observers_;
    std::map<std::string, Registration> names_;
    std::vector<std::pair<std::string, std::string>> posted_;
    bool registrationFails_ = false;
    bool postFails_ = false;
};

}  // namespace platform::headless
