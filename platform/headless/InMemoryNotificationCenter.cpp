#include "platform/headless/InMemoryNotificationCenter.h"

#include <algorithm>

namespace platform::headless {

InMemoryNotificationCenter::~InMemoryNotificationCenter() {
    std::vector<const void*> owners;
    {
        std::lock_guard<std::mutex> guard(lock_);
        owners.swap(owners_);
    }
    for (const void* owner : owners) bus_.removeObserver(this, owner);
}

void InMemoryNotificationCenter::addObserver(const void* owner, const std::string& name, const std::string& object,
                                             Callback callback) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (std::find(owners_.begin(), owners_.end(), owner) == owners_.end()) owners_.push_back(owner);
    }
    bus_.addObserver(this, owner, name, object, std::move(callback));
}

void InMemoryNotificationCenter::removeObserver(const void* owner) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::erase(owners_, owner);
    }
    bus_.removeObserver(this, owner);
}

}  // namespace platform::headless
