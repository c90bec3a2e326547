#pragma once

namespace platform {

// Takes every installed service back, the main run loop and the alert
// presenter included, so a backend can tear its implementations down in any
// order afterwards.
void uninstallAllServices();

}  // namespace platform
