#pragma once

#include "platform/foundation/BluetoothDevice.h"
#include "platform/services/BluetoothDeviceInquiry.h"
#include "platform/services/Service.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// The local Bluetooth controller: whether there is one, whether it is
// powered, name requests to remote devices and device searches.
class Bluetooth : public Service<Bluetooth> {
public:
    static constexpr int PowerOn = 1;
    static constexpr int PowerOff = 0;

    Bluetooth();
    virtual ~Bluetooth() = default;

    virtual bool localDeviceAvailable() = 0;
    // PowerOn (1) when the controller is up, anything else otherwise.
    virtual int localDevicePowerState() = 0;

    // Asks `device` for its name over the air. Answers 0 when the request was
    // issued; `completion` then runs exactly once on the main run loop with
    // the device and the status (0: the device answered and its name is set).
    // Any other answer means the request was refused and nothing follows.
    using NameRequestCompletion = std::function<void(const BluetoothDeviceRef& device, int status)>;
    int remoteNameRequest(const BluetoothDeviceRef& device, const void* owner, NameRequestCompletion completion);
    // Once this returns (on the main thread), no completion of `owner`'s
    // requests runs any more; the requests themselves may still finish.
    void cancelRemoteNameRequests(const void* owner);

    // Device searches, driven by BluetoothDeviceInquiry::start and stop.
    virtual int startInquiry(const BluetoothDeviceInquiryRef& inquiry) = 0;
    virtual int stopInquiry(const BluetoothDeviceInquiryRef& inquiry) = 0;

protected:
    // Sends the request identified by `ticket`; 0 when it went out.
    virtual int issueRemoteNameRequest(const BluetoothDeviceRef& device, std::uint64_t ticket) = 0;
    // Called by the backend from any thread when the request has an outcome;
    // a non-empty `name` becomes the device's name on success.
    void completeRemoteNameRequest(std::uint64_t ticket, const BluetoothDeviceRef& device, int status,
                                   const std::string& name);
    // Tells a stopped search's owner, on the main thread, that it ended
    // aborted; nothing if the search is gone by then.
    static void announceStoppedInquiry(const BluetoothDeviceInquiryRef& inquiry);

private:
    struct PendingRequests;
    // Shared with the performs that deliver completions, which may outlive
    // the service at process end.
    std::shared_ptr<PendingRequests> pending_;
};

}  // namespace platform
