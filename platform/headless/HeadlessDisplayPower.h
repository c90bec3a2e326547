#pragma once

#include "platform/services/Displays.h"

#include <atomic>

namespace platform::headless {

// The display power manager in memory: whether its entry exists, and how
// often the displays were asked to idle.
class HeadlessDisplayPower final : public DisplayPower {
public:
    bool hasPowerEntry() override { return hasEntry_.load(); }
    void requestIdle() override { ++idleRequests_; }

    void setHasPowerEntry(bool has) { hasEntry_.store(has); }
    int idleRequests() const { return idleRequests_.load(); }

private:
    std::atomic<bool> hasEntry_{true};
    std::atomic<int> idleRequests_{0};
};

}  // namespace platform::headless
