#pragma once

#include "platform/services/Input.h"

#include <atomic>
#include <mutex>

namespace platform::headless {

// The session's input events in memory: tests deliver events, which reach
// the tap's callback on the main thread.
class HeadlessEventTap final : public EventTap {
public:
    bool create(Callback callback) override;
    void destroy() override;

    void setCreationFails(bool fails) { creationFails_.store(fails); }
    bool isCreated() const;
    // Hands an input event to the tap; from another thread it waits until the
    // main thread has handled it. False when no tap exists.
    bool deliver(const EventRef& event);

private:
    std::atomic<bool> creationFails_{false};
    mutable std::mutex lock_;
    Callback callback_;
};

}  // namespace platform::headless
