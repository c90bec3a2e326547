#pragma once

#include "platform/headless/InjectedStatus.h"
#include "platform/services/Displays.h"

#include <mutex>
#include <utility>
#include <vector>

namespace platform::headless {

// The system interface mode in memory. A failing `set` leaves the mode as it was.
class HeadlessSystemUIMode final : public SystemUIMode {
public:
    enum class Call { Set };

    int set(std::uint32_t mode, std::uint32_t options) override;
    std::string errorString(int status) override;
    std::string commentString(int status) override;

    void failCall(Call call, int status) { statuses_.set(call, status); }
    void clearFailures() { statuses_.clear(); }
    std::uint32_t mode() const;
    std::uint32_t options() const;
    // Every requested (mode, options), failed ones included.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> requests() const;

private:
    InjectedStatus<Call> statuses_;
    mutable std::mutex lock_;
    std::uint32_t mode_ = Normal;
    std::uint32_t options_ = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> requests_;
};

}  // namespace platform::headless
