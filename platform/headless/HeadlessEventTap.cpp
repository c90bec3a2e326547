#include "platform/headless/HeadlessEventTap.h"

#include "platform/foundation/RunLoop.h"

namespace platform::headless {

bool HeadlessEventTap::create(Callback callback) {
    if (creationFails_.load()) return false;
    std::lock_guard<std::mutex> guard(lock_);
    callback_ = std::move(callback);
    return true;
}

void HeadlessEventTap::destroy() {
    std::lock_guard<std::mutex> guard(lock_);
    callback_ = nullptr;
}

bool HeadlessEventTap::isCreated() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<bool>(callback_);
}

bool HeadlessEventTap::deliver(const EventRef& event) {
    Callback callback;
    {
        std::lock_guard<std::mutex> guard(lock_);
        callback = callback_;
    }
    if (!callback) return false;
    RunLoop::main().performOnMainThread([callback, event] { callback(event); }, true);
    return true;
}

}  // namespace platform::headless
