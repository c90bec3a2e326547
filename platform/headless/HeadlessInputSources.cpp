#include "platform/headless/HeadlessInputSources.h"

#include <algorithm>

namespace platform::headless {

HeadlessInputSources::HeadlessInputSources() {
    install("com.apple.keylayout.US");
    current_ = "com.apple.keylayout.US";
}

std::string HeadlessInputSources::current() {
    std::lock_guard<std::mutex> guard(lock_);
    return current_;
}

std::vector<std::string> HeadlessInputSources::enabledWithIdentifier(const std::string& identifier) {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> found;
    for (const Source& s : sources_)
        if (s.enabled && s.identifier == identifier) found.push_back(s.identifier);
    return found;
}

int HeadlessInputSources::select(const std::string& identifier) {
    std::lock_guard<std::mutex> guard(lock_);
    selections_.push_back(identifier);
    if (int status = statuses_.of(Call::Select)) return status;
    const bool known = std::any_of(sources_.begin(), sources_.end(),
                                   [&](const Source& s) { return s.enabled && s.identifier == identifier; });
    if (!known) return kParamErr;
    current_ = identifier;
    return 0;
}

void HeadlessInputSources::install(const std::string& identifier, bool enabled) {
    std::lock_guard<std::mutex> guard(lock_);
    sources_.push_back(Source{identifier, enabled});
}

void HeadlessInputSources::remove(const std::string& identifier) {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(sources_, [&](const Source& s) { return s.identifier == identifier; });
}

void HeadlessInputSources::setCurrent(const std::string& identifier) {
    std::lock_guard<std::mutex> guard(lock_);
    current_ = identifier;
}

std::vector<std::string> HeadlessInputSources::selections() const {
    std::lock_guard<std::mutex> guard(lock_);
    return selections_;
}

}  // namespace platform::headless
