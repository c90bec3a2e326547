#pragma once

#include "platform/services/Bluetooth.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::desktop {

// Bluetooth through BlueZ's HCI library. The first adapter that is up is
// used, else the first one there is; its up flag is the power state. Name
// requests and searches block in the kernel, so each runs on a thread of its
// own and hands its outcome to the main run loop.
class BlueZBluetooth final : public Bluetooth {
public:
    BlueZBluetooth();
    // Waits for the requests still under way (each ends within its time-out).
    ~BlueZBluetooth() override;

    bool localDeviceAvailable() override;
    int localDevicePowerState() override;
    int startInquiry(const BluetoothDeviceInquiryRef& inquiry) override;
    int stopInquiry(const BluetoothDeviceInquiryRef& inquiry) override;

protected:
    int issueRemoteNameRequest(const BluetoothDeviceRef& device, std::uint64_t ticket) override;

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    void runInBackground(std::function<void()> work);

    std::mutex lock_;
    std::vector<Worker> workers_;
    // One flag per running search, set when the search was stopped.
    std::map<const BluetoothDeviceInquiry*, std::shared_ptr<std::atomic<bool>>> searches_;
};

}  // namespace platform::desktop
