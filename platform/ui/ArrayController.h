#pragma once

#include "platform/foundation/Object.h"

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace platform {

// Presents an ordered list of objects to a collection or table view and makes
// new objects of the kind its owner configured. Content changes are made on
// the main thread; reading is safe from any thread.
class ArrayController : public Object {
public:
    using Factory = std::function<ObjectRef()>;
    // Called after every content change.
    using Observer = std::function<void()>;

    void setObjectFactory(Factory factory);
    // A new object of the configured kind, not yet added; none without a factory.
    ObjectRef newObject() const;

    void addObject(const ObjectRef& object);
    void setContent(std::vector<ObjectRef> content);
    std::vector<ObjectRef> arrangedObjects() const;
    std::size_t count() const;

    void addObserver(const void* owner, Observer observer);
    void removeObserver(const void* owner);

private:
    void contentChanged();

    mutable std::mutex contentLock_;
    std::vector<ObjectRef> content_;
    Factory factory_;
    std::vector<std::pair<const void*, Observer>> observers_;
};

using ArrayControllerRef = std::shared_ptr<ArrayController>;

}  // namespace platform
