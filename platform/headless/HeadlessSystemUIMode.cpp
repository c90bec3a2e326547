#include "platform/headless/HeadlessSystemUIMode.h"

#include <string>

namespace platform::headless {

int HeadlessSystemUIMode::set(std::uint32_t mode, std::uint32_t options) {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.emplace_back(mode, options);
    if (int status = statuses_.of(Call::Set)) return status;
    mode_ = mode;
    options_ = options;
    return 0;
}

std::string HeadlessSystemUIMode::errorString(int status) { return "headlessError" + std::to_string(status); }

std::string HeadlessSystemUIMode::commentString(int status) {
    return "the headless interface mode refused the change (" + std::to_string(status) + ")";
}

std::uint32_t HeadlessSystemUIMode::mode() const {
    std::lock_guard<std::mutex> guard(lock_);
    return mode_;
}

std::uint32_t HeadlessSystemUIMode::options() const {
    std::lock_guard<std::mutex> guard(lock_);
    return options_;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> HeadlessSystemUIMode::requests() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

}  // namespace platform::headless
