#include "platform/services/BluetoothDeviceInquiry.h"

#include "platform/services/Bluetooth.h"

#include <mutex>

namespace platform {

BluetoothDeviceInquiryRef BluetoothDeviceInquiry::create(Delegate delegate) {
    return std::make_shared<BluetoothDeviceInquiry>(std::move(delegate));
}

BluetoothDeviceInquiry::BluetoothDeviceInquiry(Delegate delegate) : delegate_(std::move(delegate)) {}

BluetoothDeviceInquiryRef BluetoothDeviceInquiry::self() {
    return std::static_pointer_cast<BluetoothDeviceInquiry>(shared_from_this());
}

void BluetoothDeviceInquiry::setInquiryLength(int seconds) {
    std::lock_guard<std::recursive_mutex> guard(objectLock());
    length_ = seconds > 0 ? seconds : 1;
}

int BluetoothDeviceInquiry::inquiryLength() const {
    std::lock_guard<std::recursive_mutex> guard(objectLock());
    return length_;
}

int BluetoothDeviceInquiry::start() {
    {
        std::lock_guard<std::recursive_mutex> guard(objectLock());
        if (running_) return -1;
        running_ = true;
    }
    const int result = Bluetooth::shared().startInquiry(self());
    if (result != 0) {
        std::lock_guard<std::recursive_mutex> guard(objectLock());
        running_ = false;
    }
    return result;
}

int BluetoothDeviceInquiry::stop() {
    if (!isRunning()) return 0;
    return Bluetooth::shared().stopInquiry(self());
}

bool BluetoothDeviceInquiry::isRunning() const {
    std::lock_guard<std::recursive_mutex> guard(objectLock());
    return running_;
}

std::vector<BluetoothDeviceRef> BluetoothDeviceInquiry::foundDevices() const {
    std::lock_guard<std::recursive_mutex> guard(objectLock());
    return found_;
}

void BluetoothDeviceInquiry::clearFoundDevices() {
    std::lock_guard<std::recursive_mutex> guard(objectLock());
    found_.clear();
}

void BluetoothDeviceInquiry::deviceFound(const BluetoothDeviceRef& device) {
    if (!device) return;
    std::lock_guard<std::recursive_mutex> guard(objectLock());
    for (const BluetoothDeviceRef& known : found_)
        if (known->getAddressString() == device->getAddressString()) return;
    found_.push_back(device);
}

void BluetoothDeviceInquiry::complete(int error, bool aborted) {
    {
        std::lock_guard<std::recursive_mutex> guard(objectLock());
        if (!running_) return;
        running_ = false;
    }
    // The delegate usually lets go of the inquiry; it stays alive until the call is over.
    auto keepAlive = self();
    if (delegate_) delegate_(*this, error, aborted);
}

}  // namespace platform
