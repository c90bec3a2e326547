#pragma once

#include "platform/foundation/BluetoothDevice.h"
#include "platform/foundation/Object.h"

#include <functional>
#include <memory>
#include <vector>

namespace platform {

class BluetoothDeviceInquiry;
using BluetoothDeviceInquiryRef = std::shared_ptr<BluetoothDeviceInquiry>;

// A search for nearby devices lasting `inquiryLength` seconds. The delegate
// hears once per start, on the main run loop, when the search has ended by
// itself or was stopped (aborted); the devices found stay available until
// cleared.
class BluetoothDeviceInquiry : public Object {
public:
    using Delegate = std::function<void(BluetoothDeviceInquiry& inquiry, int error, bool aborted)>;

    static BluetoothDeviceInquiryRef create(Delegate delegate);
    explicit BluetoothDeviceInquiry(Delegate delegate);

    void setInquiryLength(int seconds);
    int inquiryLength() const;

    // 0 when the search started; a running search is not started again.
    int start();
    // Ends a running search early; the delegate hears of it as aborted.
    int stop();
    bool isRunning() const;

    std::vector<BluetoothDeviceRef> foundDevices() const;
    void clearFoundDevices();

    // Used by backends. A device found twice (same address) is listed once.
    void deviceFound(const BluetoothDeviceRef& device);
    // Ends the running search and tells the delegate; ignored when no search
    // is running. Main thread only.
    void complete(int error, bool aborted);

private:
    BluetoothDeviceInquiryRef self();

    Delegate delegate_;
    int length_ = 10;
    bool running_ = false;
    std::vector<BluetoothDeviceRef> found_;
};

}  // namespace platform
