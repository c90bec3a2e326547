#pragma once

#include "platform/services/Displays.h"

#include <string>

namespace platform::desktop {

// On X11 the all-hidden mode is what capturing the displays already does:
// covering windows above every panel and dock, and the grabs that keep
// process switching and the window manager's keys away. Nothing is left to
// do here but to agree.
class X11SystemUIMode final : public SystemUIMode {
public:
    int set(std::uint32_t mode, std::uint32_t options) override;
    std::string errorString(int status) override;
    std::string commentString(int status) override;

    std::uint32_t mode() const { return mode_; }

private:
    std::uint32_t mode_ = Normal;
};

}  // namespace platform::desktop
