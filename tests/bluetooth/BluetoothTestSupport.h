#pragma once

#include "platform/foundation/BluetoothDevice.h"
#include "platform/foundation/Defaults.h"
#include "platform/foundation/KeyedArchive.h"

#include <string>

namespace bluetooth_test {

inline constexpr const char* kPhoneAddress = "00:1A:7D:DA:71:13";

// Stores `device` the way the settings pane does: keyed-archived under "bluetoothDevice".
inline void storeDevice(const platform::BluetoothDeviceRef& device) {
    platform::Defaults::standard().setObject(platform::KeyedArchiver::archivedDataWithRootObject(device),
                                             "bluetoothDevice");
}

}  // namespace bluetooth_test
