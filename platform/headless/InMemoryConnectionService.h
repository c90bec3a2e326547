#pragma once

#include "platform/headless/InMemoryBus.h"

namespace platform::headless {

// Registered connections on the in-memory bus. Messages to a looked-up root
// are served on the main run loop; a name that is gone by then makes the
// message throw, as an unreachable peer does.
class InMemoryConnectionService final : public ConnectionService {
public:
    explicit InMemoryConnectionService(InMemoryBus& bus) : bus_(bus) {}

    std::unique_ptr<Connection> makeConnection() override;
    std::unique_ptr<RemoteRoot> lookup(const std::string& name) override;

private:
    InMemoryBus& bus_;
};

}  // namespace platform::headless
