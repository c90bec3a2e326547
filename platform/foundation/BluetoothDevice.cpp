#include "platform/foundation/BluetoothDevice.h"

#include <mutex>

namespace platform {

BluetoothDevice::BluetoothDevice(std::string address, std::string name)
    : address_(std::move(address)), name_(std::move(name)) {}

std::string BluetoothDevice::getName() const {
    std::lock_guard<std::recursive_mutex> guard(objectLock());
    return name_.empty() ? address_ : name_;
}

void BluetoothDevice::setName(std::string name) {
    std::lock_guard<std::recursive_mutex> guard(objectLock());
    name_ = std::move(name);
}

namespace {

Dictionary encodeDevice(const Object& object) {
    const auto& device = static_cast<const BluetoothDevice&>(object);
    std::lock_guard<std::recursive_mutex> guard(device.objectLock());
    return Dictionary{{"address", Value(device.getAddressString())}, {"name", Value(device.getName())}};
}

// A device without an address cannot be reached, so such an archive is no device.
ObjectRef decodeDevice(const Dictionary& fields) {
    const auto address = fields.find("address");
    if (address == fields.end() || !address->second.isString() || address->second.stringValue().empty()) return nullptr;
    const auto name = fields.find("name");
    const std::string nameText = name != fields.end() && name->second.isString() ? name->second.stringValue() : "";
    return std::make_shared<BluetoothDevice>(address->second.stringValue(), nameText);
}

}  // namespace

KeyedCoder BluetoothDevice::keyedCoder() {
    return KeyedCoder{
        kArchiveClassName,
        [](const Object& object) { return dynamic_cast<const BluetoothDevice*>(&object) != nullptr; },
        encodeDevice,
        decodeDevice,
    };
}

}  // namespace platform
