#pragma once

#include "platform/foundation/Value.h"
#include "platform/services/Service.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

// System-wide notifications between processes, delivered on the main run loop
// of the receiving process.
class DistributedNotificationCenter : public Service<DistributedNotificationCenter> {
public:
    virtual ~DistributedNotificationCenter() = default;
    using Callback = std::function<void(const std::string& name, const std::string& object)>;
    virtual void post(const std::string& name, const std::string& object) = 0;
    // An empty object matches every object.
    virtual void addObserver(const void* owner, const std::string& name, const std::string& object,
                             Callback callback) = 0;
    virtual void removeObserver(const void* owner) = 0;
};

// The root object of a registered connection: the messages a peer may send.
class ConnectionRoot {
public:
    virtual ~ConnectionRoot() = default;
    virtual void quit() = 0;
};

// A named inter-process connection. The vendor registers a root object under
// a name; a peer looks the name up and sends messages to the root. Calls are
// served on the vendor's main run loop.
class Connection {
public:
    virtual ~Connection() = default;
    virtual bool registerName(const std::string& name, ConnectionRoot* root) = 0;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

class RemoteRoot {
public:
    virtual ~RemoteRoot() = default;
    // Throws std::runtime_error when the message cannot be delivered.
    virtual void quit() = 0;
};

class ConnectionService : public Service<ConnectionService> {
public:
    virtual ~ConnectionService() = default;
    virtual std::unique_ptr<Connection> makeConnection() = 0;
    // None when nothing is registered under the name.
    virtual std::unique_ptr<RemoteRoot> lookup(const std::string& name) = 0;
};

}  // namespace platform
