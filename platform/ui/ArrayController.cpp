#include "platform/ui/ArrayController.h"

#include <algorithm>

namespace platform {

void ArrayController::setObjectFactory(Factory factory) {
    std::lock_guard<std::mutex> guard(contentLock_);
    factory_ = std::move(factory);
}

ObjectRef ArrayController::newObject() const {
    Factory factory;
    {
        std::lock_guard<std::mutex> guard(contentLock_);
        factory = factory_;
    }
    return factory ? factory() : nullptr;
}

void ArrayController::addObject(const ObjectRef& object) {
    if (!object) return;
    {
        std::lock_guard<std::mutex> guard(contentLock_);
        content_.push_back(object);
    }
    contentChanged();
}

void ArrayController::setContent(std::vector<ObjectRef> content) {
    std::vector<ObjectRef> previous;
    {
        std::lock_guard<std::mutex> guard(contentLock_);
        previous.swap(content_);
        content_ = std::move(content);
    }
    contentChanged();
    // The old objects are let go outside the lock: their destruction may
    // reach back into this controller's observers.
}

std::vector<ObjectRef> ArrayController::arrangedObjects() const {
    std::lock_guard<std::mutex> guard(contentLock_);
    return content_;
}

std::size_t ArrayController::count() const {
    std::lock_guard<std::mutex> guard(contentLock_);
    return content_.size();
}

void ArrayController::addObserver(const void* owner, Observer observer) {
    std::lock_guard<std::mutex> guard(contentLock_);
    observers_.emplace_back(owner, std::move(observer));
}

void ArrayController::removeObserver(const void* owner) {
    std::lock_guard<std::mutex> guard(contentLock_);
    std::erase_if(observers_, [owner](const auto& entry) { return entry.first == owner; });
}

void ArrayController::contentChanged() {
    std::vector<std::pair<const void*, Observer>> observers;
    {
        std::lock_guard<std::mutex> guard(contentLock_);
        observers = observers_;
    }
    for (auto& [owner, observer] : observers) observer();
}

}  // namespace platform
