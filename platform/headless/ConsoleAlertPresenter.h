#pragma once

#include "platform/ui/Alert.h"

#include <cstdio>

namespace platform::headless {

// The alerts of the headless executable: written to a stream (standard error
// by default) and answered with the default button, as nobody is there to
// choose another.
class ConsoleAlertPresenter final : public AlertPresenter {
public:
    explicit ConsoleAlertPresenter(std::FILE* stream = stderr) : stream_(stream) {}
    int present(const Alert& alert) override;

private:
    std::FILE* stream_;
};

}  // namespace platform::headless
