// The camera service comes before Xlib, whose Status macro would clash with it.
#ifdef TARNWICK_HAVE_V4L2
#include "platform/desktop/v4l2/V4L2Capture.h"
#endif

#include "platform/desktop/CommonServices.h"

#include "platform/desktop/bluez/BlueZBluetooth.h"
#include "platform/desktop/dbus/DBusConnectionService.h"
#include "platform/desktop/dbus/DBusNotificationCenter.h"
#include "platform/desktop/dbus/DesktopWorkspace.h"
#include "platform/services/Service.h"

namespace platform::desktop {

struct CommonServices::Parts {
    std::unique_ptr<DesktopWorkspace> workspace = makeInstalled<Workspace, DesktopWorkspace>();
    std::unique_ptr<DBusNotificationCenter> notifications =
        makeInstalled<DistributedNotificationCenter, DBusNotificationCenter>();
    std::unique_ptr<DBusConnectionService> connections = makeInstalled<ConnectionService, DBusConnectionService>();
    std::unique_ptr<BlueZBluetooth> bluetooth = makeInstalled<Bluetooth, BlueZBluetooth>();
#ifdef TARNWICK_HAVE_V4L2
    std::unique_ptr<v4l2::V4L2Capture> capture = makeInstalled<Capture, v4l2::V4L2Capture>();
#endif
};

CommonServices::CommonServices() : parts_(std::make_unique<Parts>()) {}

CommonServices::~CommonServices() {
    Parts& p = *parts_;
#ifdef TARNWICK_HAVE_V4L2
    Capture::install(nullptr);
    p.capture.reset();
#endif
    Bluetooth::install(nullptr);
    p.bluetooth.reset();
    ConnectionService::install(nullptr);
    p.connections.reset();
    DistributedNotificationCenter::install(nullptr);
    p.notifications.reset();
    Workspace::install(nullptr);
    p.workspace.reset();
}

}  // namespace platform::desktop
