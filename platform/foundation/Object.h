#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace platform {

// Root of every reference-counted platform object. Each object carries its own
// recursive lock, the equivalent of synchronising on the object itself.
class Object : public std::enable_shared_from_this<Object> {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() = default;

    std::recursive_mutex& objectLock() const { return lock_; }
    virtual std::string description() const;

private:
    mutable std::recursive_mutex lock_;
};

using ObjectRef = std::shared_ptr<Object>;

}  // namespace platform
