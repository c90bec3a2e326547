#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// Raised for an internal inconsistency that normal use cannot produce: the
// caller's state is wrong, so carrying on would show or store nonsense.
class AssertionFailure : public std::logic_error {
public:
    AssertionFailure(std::string method, std::string file, int line, const std::string& description)
        : std::logic_error(description), method_(std::move(method)), file_(std::move(file)), line_(line) {}

    const std::string& method() const { return method_; }
    const std::string& file() const { return file_; }
    int line() const { return line_; }
    std::string description() const { return what(); }

private:
    std::string method_;
    std::string file_;
    int line_;
};

// Reports the failure on standard error and raises it.
[[noreturn]] void handleFailureInMethod(const std::string& method, const std::string& file, int line,
                                        const std::string& description);

}  // namespace platform
