#pragma once

#include "platform/services/CompositorSession.h"

namespace platform::desktop {

// The session's compositor from the environment, and key names from the
// key table that the hot keys use.
class DesktopCompositorSession final : public CompositorSession {
public:
    Compositor compositor() const override;
    std::string keyName(std::int32_t macKeyCode) const override;
};

}  // namespace platform::desktop
