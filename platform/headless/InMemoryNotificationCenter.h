#pragma once

#include "platform/headless/InMemoryBus.h"

namespace platform::headless {

// One process's distributed notification centre on the in-memory bus.
class InMemoryNotificationCenter final : public DistributedNotificationCenter {
public:
    explicit InMemoryNotificationCenter(InMemoryBus& bus) : bus_(bus) {}
    ~InMemoryNotificationCenter() override;

    void post(const std::string& name, const std::string& object) override { bus_.post(name, object); }
    void addObserver(const void* owner, const std::string& name, const std::string& object, Callback callback) override;
    void removeObserver(const void* owner) override;

private:
    InMemoryBus& bus_;
    std::mutex lock_;
    std::vector<const void*> owners_;
};

}  // namespace platform::headless
