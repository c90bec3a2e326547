#include "platform/headless/HeadlessBluetooth.h"

namespace platform::headless {

HeadlessBluetooth::HeadlessBluetooth(Controller controller) : controller_(controller) {}

HeadlessBluetooth::~HeadlessBluetooth() {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& [ticket, timer] : outstanding_) timer->invalidate();
    for (auto& [inquiry, timer] : searches_) timer->invalidate();
}

void HeadlessBluetooth::setController(Controller controller) {
    std::lock_guard<std::mutex> guard(lock_);
    controller_ = controller;
}

BluetoothDeviceRef HeadlessBluetooth::addDevice(const std::string& address, const std::string& name, Response response,
                                                double delay) {
    std::lock_guard<std::mutex> guard(lock_);
    devices_[address] = Script{name, response, delay};
    return std::make_shared<BluetoothDevice>(address, name);
}

void HeadlessBluetooth::setResponse(const std::string& address, Response response, double delay) {
    std::lock_guard<std::mutex> guard(lock_);
    Script& script = devices_[address];
    script.response = response;
    script.delay = delay;
}

std::size_t HeadlessBluetooth::nameRequestCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return issued_;
}

std::size_t HeadlessBluetooth::outstandingNameRequests() const {
    std::lock_guard<std::mutex> guard(lock_);
    return outstanding_.size();
}

std::size_t HeadlessBluetooth::runningSearchCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return searches_.size();
}

bool HeadlessBluetooth::localDeviceAvailable() {
    std::lock_guard<std::mutex> guard(lock_);
    return controller_ != Controller::Absent;
}

int HeadlessBluetooth::localDevicePowerState() {
    std::lock_guard<std::mutex> guard(lock_);
    return controller_ == Controller::On ? PowerOn : PowerOff;
}

// A device nobody added is out of reach.
HeadlessBluetooth::Script HeadlessBluetooth::scriptFor(const std::string& address) const {
    auto it = devices_.find(address);
    return it != devices_.end() ? it->second : Script{"", Response::Silent, 0};
}

int HeadlessBluetooth::issueRemoteNameRequest(const BluetoothDeviceRef& device, std::uint64_t ticket) {
    Script script;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (controller_ != Controller::On) return kRefusedStatus;
        script = scriptFor(device->getAddressString());
        if (script.response == Response::Refuses) return kRefusedStatus;
        ++issued_;
    }
    const int status = script.response == Response::Answers ? 0 : kNoAnswerStatus;
    TimerRef timer = RunLoop::main().scheduleTimer(script.delay, false, [this, ticket, device, status, script](Timer&) {
        finishRequest(ticket, device, status, script.name);
    });
    std::lock_guard<std::mutex> guard(lock_);
    outstanding_[ticket] = timer;
    return 0;
}

void HeadlessBluetooth::finishRequest(std::uint64_t ticket, const BluetoothDeviceRef& device, int status,
                                      const std::string& name) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        outstanding_.erase(ticket);
    }
    completeRemoteNameRequest(ticket, device, status, name);
}

std::vector<BluetoothDeviceRef> HeadlessBluetooth::devicesInRange() const {
    std::vector<BluetoothDeviceRef> found;
    for (const auto& [address, script] : devices_)
        if (script.response != Response::Silent)
            found.push_back(std::make_shared<BluetoothDevice>(address, script.name));
    return found;
}

void HeadlessBluetooth::refuseSearches(int status) {
    std::lock_guard<std::mutex> guard(lock_);
    searchRefusal_ = status;
}

int HeadlessBluetooth::startInquiry(const BluetoothDeviceInquiryRef& inquiry) {
    std::vector<BluetoothDeviceRef> found;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (controller_ == Controller::Absent) return kRefusedStatus;
        if (searchRefusal_ != 0) return searchRefusal_;
        // A controller that is off searches, but hears nothing.
        if (controller_ == Controller::On) found = devicesInRange();
    }
    std::weak_ptr<BluetoothDeviceInquiry> weak = inquiry;
    RunLoop::main().performOnMainThread(
        [weak, found] {
            if (auto live = weak.lock(); live && live->isRunning())
                for (const auto& device : found) live->deviceFound(device);
        },
        false);
    TimerRef timer = RunLoop::main().scheduleTimer(inquiry->inquiryLength(), false, [this, weak](Timer&) {
        auto live = weak.lock();
        if (!live) return;
        {
            std::lock_guard<std::mutex> guard(lock_);
            searches_.erase(live.get());
        }
        live->complete(0, false);
    });
    std::lock_guard<std::mutex> guard(lock_);
    searches_[inquiry.get()] = timer;
    return 0;
}

int HeadlessBluetooth::stopInquiry(const BluetoothDeviceInquiryRef& inquiry) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = searches_.find(inquiry.get());
        if (it != searches_.end()) {
            it->second->invalidate();
            searches_.erase(it);
        }
    }
    announceStoppedInquiry(inquiry);
    return 0;
}

}  // namespace platform::headless
