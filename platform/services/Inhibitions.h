#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace platform {

// The inhibitions of the inactivity lock that programs hold, each under a
// cookie and owned by the caller that took it. Everything is bounded: a
// program cannot grow the table or the log without limit.
class Inhibitions {
public:
    static constexpr std::size_t kMaximumTextBytes = 4096;
    static constexpr std::size_t kMaximumPerCaller = 64;
    static constexpr std::size_t kMaximumInTotal = 1024;

    enum class Refusal { TextTooLong, NotUtf8, TooManyForCaller, TooManyInTotal, UnknownCookie, NotTheOwner };
    // What a refusal says to the program that was refused.
    static const char* describe(Refusal refusal);

    std::variant<std::uint32_t, Refusal> inhibit(const std::string& caller, const std::string& application,
                                                 const std::string& reason);
    std::optional<Refusal> uninhibit(const std::string& caller, std::uint32_t cookie);
    // Ends every inhibition of a caller that left; the number ended.
    std::size_t callerLeft(const std::string& caller);

    bool empty() const { return held_.empty(); }
    std::size_t count() const { return held_.size(); }
    std::size_t countOf(const std::string& caller) const;
    std::optional<std::string> anyApplication() const;

private:
    struct Inhibition {
        std::string caller;
        std::string application;
        std::string reason;
    };
    std::uint32_t nextCookie();

    std::map<std::uint32_t, Inhibition> held_;
    std::uint32_t lastCookie_ = 0;
};

}  // namespace platform
