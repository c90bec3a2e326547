#pragma once

#include "platform/foundation/Object.h"

#include <cstdint>
#include <memory>

// Watches one paired Bluetooth device and requests locking and unlocking.
class BluetoothController : public platform::Object {
public:
    // None when the computer has no Bluetooth controller.
    static std::unique_ptr<BluetoothController> init();
    ~BluetoothController() override;

    std::int32_t secondsUntilLock() const { return secondsUntilLock_; }
    void setSecondsUntilLock(std::int32_t seconds) { secondsUntilLock_ = seconds; }
    void terminate();

    BluetoothController();

private:
    std::int32_t secondsUntilLock_ = 0;
};
