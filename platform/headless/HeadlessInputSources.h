#pragma once

#include "platform/headless/InjectedStatus.h"
#include "platform/services/Processes.h"

#include <mutex>
#include <vector>

namespace platform::headless {

// Keyboard input sources in memory: the installed ones, which are enabled,
// and the current one.
class HeadlessInputSources final : public InputSources {
public:
    enum class Call { Select };
    static constexpr int kParamErr = -50;

    HeadlessInputSources();

    std::string current() override;
    std::vector<std::string> enabledWithIdentifier(const std::string& identifier) override;
    int select(const std::string& identifier) override;

    void install(const std::string& identifier, bool enabled = true);
    void remove(const std::string& identifier);
    void setCurrent(const std::string& identifier);
    void failCall(Call call, int status) { statuses_.set(call, status); }
    void clearFailures() { statuses_.clear(); }
    // Every identifier selected, in order.
    std::vector<std::string> selections() const;

private:
    struct Source {
        std::string identifier;
        bool enabled;
    };
    InjectedStatus<Call> statuses_;
    mutable std::mutex lock_;
    std::vector<Source> sources_;
    std::string current_;
    std::vector<std::string> selections_;
};

}  // namespace platform::headless
