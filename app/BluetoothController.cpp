#include "app/BluetoothController.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/Defaults.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/services/Bluetooth.h"
#include "shared/QMASL.h"
#include "shared/TarnwickConstants.h"

using platform::Bluetooth;
using platform::NotificationCenter;

std::unique_ptr<BluetoothController> BluetoothController::init() {
    if (!Bluetooth::isInstalled() || !Bluetooth::shared().localDeviceAvailable()) {
        QMLog(7, "Not enabling BT component: No Bluetooth device available on this machine.");
        return nullptr;
    }
    auto controller = std::make_unique<BluetoothController>();
    controller->startPolling();
    return controller;
}

BluetoothController::BluetoothController() : lastSeen(platform::Clock::seconds()) {}

BluetoothController::~BluetoothController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    if (Bluetooth::isInstalled()) Bluetooth::shared().cancelRemoteNameRequests(this);
    if (queryTimer) queryTimer->invalidate();
}

void BluetoothController::startPolling() {
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(this, kScreenUnlockedEvent, {},
                       [this](const platform::NotificationRef& n) { screenUnlockedNotification(n); });
    center.addObserver(this, kScreenLockedEvent, {},
                       [this](const platform::NotificationRef& n) { screenLockedNotification(n); });
    queryTimer =
        platform::RunLoop::main().scheduleTimer(kPollInterval, true, [this](platform::Timer& timer) { worker(timer); });
    queryTimer->fire();
}

// An answer still under way is dropped as well: it would otherwise post a
// lock or unlock request while the application is shutting down.
void BluetoothController::terminate() {
    QMLog(7, "Terminating Bluetooth module");
    if (queryTimer) queryTimer->invalidate();
    queryTimer.reset();
    NotificationCenter::defaultCenter().removeObserver(this);
    if (Bluetooth::isInstalled()) Bluetooth::shared().cancelRemoteNameRequests(this);
}

// ---------------------------------------------------------------------------
// Polling

void BluetoothController::worker(platform::Timer&) {
    if (Bluetooth::shared().localDevicePowerState() != Bluetooth::PowerOn) return;

    std::int32_t idle = 0;
    if (!mutex.compare_exchange_strong(idle, 1, std::memory_order_seq_cst)) {
        QMLog(7, "Skipping BT check: Another query is currently active.");
        return;
    }

    platform::Defaults& defaults = platform::Defaults::standard();
    const platform::Value archivedDevice = defaults.objectForKey(kPrefBluetoothDevice);
    const bool monitoring = defaults.boolForKey(kPrefLockViaBluetooth);
    if (!monitoring || archivedDevice.isNull()) {
        releaseQuery();
        return;
    }

    // A stored device that cannot be read is no device: asking nobody would
    // leave the query flag set for good and stop all further polls.
    const platform::BluetoothDeviceRef device = unarchiveDevice(archivedDevice);
    if (!device) {
        releaseQuery();
        return;
    }
    issueRequest(device);
}

platform::BluetoothDeviceRef BluetoothController::unarchiveDevice(const platform::Value& archived) {
    if (!archived.isData()) return nullptr;
    return std::dynamic_pointer_cast<platform::BluetoothDevice>(
        platform::KeyedUnarchiver::unarchiveObjectWithData(archived.dataValue()));
}

void BluetoothController::issueRequest(const platform::BluetoothDeviceRef& device) {
    QMLog(7, "Issuing Bluetooth request for device.");
    const int result = Bluetooth::shared().remoteNameRequest(
        device, this, [this](const platform::BluetoothDeviceRef& answered, int status) {
            remoteNameRequestComplete(answered, status);
        });
    if (result == 0) {
        QMLog(3, "remoteNameRequest issued to device %@: %d", device->getName(), 0);
    } else {
        QMLog(3, "Failed to issue remoteNameRequest to %@: %d", device->getName(), result);
        releaseQuery();
    }
}

// ---------------------------------------------------------------------------
// Outcome of a poll

void BluetoothController::remoteNameRequestComplete(const platform::BluetoothDeviceRef&, int status) {
    if (status == 0)
        deviceAnswered();
    else
        deviceDidNotAnswer(status);
    releaseQuery();
}

void BluetoothController::deviceAnswered() {
    QMLog(7, "Bluetooth query succeeded.");
    deviceIsNear = true;
    enableLocking = true;
    lastSeen = platform::Clock::seconds();
    if (enableUnlocking) {
        QMLog(7, "BT UNLOCK");
        NotificationCenter::defaultCenter().post(kUnlockRequest);
    }
}

void BluetoothController::deviceDidNotAnswer(int status) {
    if (!enableLocking) {
        QMLog(7, "remoteNameRequest returned %d; enableLocking: %d", status, 0);
        return;
    }
    if (platform::Defaults::standard().boolForKey(kPrefBluetoothUnlockOnly)) {
        QMLog(7, "remoteNameRequest returned %d; enableLocking: %d", status, 1);
        return;
    }
    QMLog(7, "Bluetooth query failed: %d", status);
    deviceIsNear = false;
    enableUnlocking = true;
    const std::int64_t absence = platform::Clock::seconds() - lastSeen;
    const std::int32_t limit = secondsUntilLock();
    if (absence > limit) {
        QMLog(7, "BT LOCK");
        NotificationCenter::defaultCenter().post(kLockRequest);
    } else {
        QMLog(7, "Device not found, but have only waited for %d out of %d seconds", absence, limit);
    }
}

// ---------------------------------------------------------------------------
// Lock state changes

void BluetoothController::screenLockedNotification(const platform::NotificationRef&) {
    enableUnlocking = !deviceIsNear;
}

void BluetoothController::screenUnlockedNotification(const platform::NotificationRef&) { enableLocking = deviceIsNear; }
