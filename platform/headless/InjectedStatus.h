#pragma once

#include <map>
#include <mutex>

namespace platform::headless {

// The status codes a headless service answers instead of success, by call.
// Tests set them to make a platform call fail on purpose; 0 means success.
template <class Call>
class InjectedStatus {
public:
    void set(Call call, int status) {
        std::lock_guard<std::mutex> guard(lock_);
        if (status == 0)
            statuses_.erase(call);
        else
            statuses_[call] = status;
    }
    void clear() {
        std::lock_guard<std::mutex> guard(lock_);
        statuses_.clear();
    }
    int of(Call call) const {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = statuses_.find(call);
        return it == statuses_.end() ? 0 : it->second;
    }

private:
    mutable std::mutex lock_;
    std::map<Call, int> statuses_;
};

}  // namespace platform::headless
