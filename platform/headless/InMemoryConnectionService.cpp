#include "platform/headless/InMemoryConnectionService.h"

#include "platform/foundation/RunLoop.h"

#include <stdexcept>

namespace platform::headless {

namespace {

class InMemoryConnection final : public Connection {
public:
    explicit InMemoryConnection(InMemoryBus& bus) : bus_(bus) {}
    ~InMemoryConnection() override { invalidate(); }

    bool registerName(const std::string& name, ConnectionRoot* root) override {
        if (!valid_) return false;
        return bus_.registerName(name, root, this);
    }
    void invalidate() override {
        valid_ = false;
        bus_.unregisterConnection(this);
    }
    bool isValid() const override { return valid_; }

private:
    InMemoryBus& bus_;
    bool valid_ = true;
};

class InMemoryRemoteRoot final : public RemoteRoot {
public:
    InMemoryRemoteRoot(InMemoryBus& bus, std::string name) : bus_(bus), name_(std::move(name)) {}

    void quit() override {
        bool delivered = false;
        RunLoop::main().performOnMainThread(
            [&] {
                if (ConnectionRoot* root = bus_.rootForName(name_)) {
                    delivered = true;
                    root->quit();
                }
            },
            true);
        if (!delivered) throw std::runtime_error("connection " + name_ + " is no longer registered");
    }

private:
    InMemoryBus& bus_;
    std::string name_;
};

}  // namespace

std::unique_ptr<Connection> InMemoryConnectionService::makeConnection() {
    return std::make_unique<InMemoryConnection>(bus_);
}

std::unique_ptr<RemoteRoot> InMemoryConnectionService::lookup(const std::string& name) {
    if (!bus_.isRegistered(name)) return nullptr;
    return std::make_unique<InMemoryRemoteRoot>(bus_, name);
}

}  // namespace platform::headless
