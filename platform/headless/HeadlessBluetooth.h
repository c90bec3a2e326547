#pragma once

#include "platform/foundation/RunLoop.h"
#include "platform/services/Bluetooth.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace platform::headless {

// A scriptable Bluetooth world: the local controller is absent, off or on, and
// each remote device answers name requests, stays silent or refuses them,
// after a chosen delay on the main run loop's clock. Devices that are not
// silent are found by searches. Tests install it with Bluetooth::install.
class HeadlessBluetooth final : public Bluetooth {
public:
    enum class Controller { Absent, Off, On };
    enum class Response { Answers, Silent, Refuses };

    // The status of a request that found no device (an HCI page timeout).
    static constexpr int kNoAnswerStatus = 4;
    // The result of a request the controller would not send.
    static constexpr int kRefusedStatus = -536870212;

    explicit HeadlessBluetooth(Controller controller = Controller::On);
    ~HeadlessBluetooth() override;

    void setController(Controller controller);
    // Searches are refused with `status` (an errno value, EPERM for a
    // process without permission); 0 lets them run again.
    void refuseSearches(int status);

    // Adds (or replaces) a device. Its name requests complete `delay` seconds
    // after they were issued; a delay of 0 completes at the next pass of the
    // run loop.
    BluetoothDeviceRef addDevice(const std::string& address, const std::string& name,
                                 Response response = Response::Answers, double delay = 0);
    void setResponse(const std::string& address, Response response, double delay = 0);

    // Name requests issued so far, and those whose outcome is still to come.
    std::size_t nameRequestCount() const;
    std::size_t outstandingNameRequests() const;
    // Device searches started and not yet ended.
    std::size_t runningSearchCount() const;

    bool localDeviceAvailable() override;
    int localDevicePowerState() override;
    int startInquiry(const BluetoothDeviceInquiryRef& inquiry) override;
    int stopInquiry(const BluetoothDeviceInquiryRef& inquiry) override;

protected:
    int issueRemoteNameRequest(const BluetoothDeviceRef& device, std::uint64_t ticket) override;

private:
    struct Script {
        std::string name;
        Response response;
        double delay;
    };
    Script scriptFor(const std::string& address) const;
    std::vector<BluetoothDeviceRef> devicesInRange() const;
    void finishRequest(std::uint64_t ticket, const BluetoothDeviceRef& device, int status, const std::string& name);

    mutable std::mutex lock_;
    Controller controller_;
    int searchRefusal_ = 0;
    std::map<std::string, Script> devices_;
    std::size_t issued_ = 0;
    std::map<std::uint64_t, TimerRef> outstanding_;
    std::map<const BluetoothDeviceInquiry*, TimerRef> searches_;
};

}  // namespace platform::headless
