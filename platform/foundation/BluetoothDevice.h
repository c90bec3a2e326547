#pragma once

#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/Object.h"

#include <memory>
#include <string>

namespace platform {

// One remote Bluetooth device, known by its address ("00:1A:7D:DA:71:13") and
// the name it last reported. The device can be keyed-archived (class name
// "IOBluetoothDevice"), which is how a chosen device is kept in the
// preferences. Talking to the device is the Bluetooth service's business.
class BluetoothDevice : public Object {
public:
    static constexpr const char* kArchiveClassName = "IOBluetoothDevice";

    BluetoothDevice(std::string address, std::string name);

    // The name, or the address while no name is known.
    std::string getName() const;
    const std::string& getAddressString() const { return address_; }
    // Set when the device reports its name.
    void setName(std::string name);

    std::string description() const override { return getName(); }

    // The coder that archives devices; the keyed archive registry knows it
    // from the start.
    static KeyedCoder keyedCoder();

private:
    const std::string address_;
    std::string name_;
};

using BluetoothDeviceRef = std::shared_ptr<BluetoothDevice>;

}  // namespace platform
