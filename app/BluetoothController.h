#pragma once

#include "platform/foundation/BluetoothDevice.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/RunLoop.h"

#include <atomic>
#include <cstdint>
#include <memory>

// Watches one paired Bluetooth device and requests locking and unlocking.
// Every six seconds it asks the device for its name: an answer means the
// device is near. Away for longer than `secondsUntilLock` posts kLockRequest;
// back after an absence (or after a lock made while it was away) posts
// kUnlockRequest. All of it runs on the main run loop.
class BluetoothController : public platform::Object {
public:
    static constexpr double kPollInterval = 6.0;

    // None when the computer has no Bluetooth controller.
    static std::unique_ptr<BluetoothController> init();
    ~BluetoothController() override;

    std::int32_t secondsUntilLock() const { return secondsUntilLock_.load(); }
    void setSecondsUntilLock(std::int32_t seconds) { secondsUntilLock_.store(seconds); }
    void terminate();

    // One poll of the device.
    void worker(platform::Timer& timer);
    // The outcome of the name request: status 0 when the device answered.
    void remoteNameRequestComplete(const platform::BluetoothDeviceRef& device, int status);
    void screenLockedNotification(const platform::NotificationRef& notification);
    void screenUnlockedNotification(const platform::NotificationRef& notification);

    bool isDeviceNear() const { return deviceIsNear; }
    bool isLockingEnabled() const { return enableLocking; }
    bool isUnlockingEnabled() const { return enableUnlocking; }

    BluetoothController();

private:
    void startPolling();
    static platform::BluetoothDeviceRef unarchiveDevice(const platform::Value& archived);
    void issueRequest(const platform::BluetoothDeviceRef& device);
    void deviceAnswered();
    void deviceDidNotAnswer(int status);
    void releaseQuery() { mutex.store(0); }

    platform::TimerRef queryTimer;
    bool deviceIsNear = false;
    bool enableLocking = false;
    bool enableUnlocking = true;
    std::atomic<std::int32_t> secondsUntilLock_{0};
    std::int64_t lastSeen;
    // 1 while a name request is outstanding.
    std::atomic<std::int32_t> mutex{0};
};
