#pragma once

#include <memory>

namespace platform::desktop {

// The services that Tarnwick and its settings program install alike, made
// and installed in this one place: the workspace, the session bus's
// notifications and registered connections, Bluetooth and the cameras.
// Made once the Qt application and the main run loop exist, ended before
// them.
class CommonServices {
public:
    CommonServices();
    // Uninstalls the services and ends them, cameras first.
    ~CommonServices();
    CommonServices(const CommonServices&) = delete;
    CommonServices& operator=(const CommonServices&) = delete;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace platform::desktop
