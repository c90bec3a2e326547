#include "platform/desktop/bluez/BlueZBluetooth.h"

#include "platform/foundation/RunLoop.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#if TARNWICK_HAVE_BLUEZ
#include <bluetooth/bluetooth.h>
#include <bluetooth/hci.h>
#include <bluetooth/hci_lib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace platform::desktop {

namespace {

#if TARNWICK_HAVE_BLUEZ

// A remote name request gives up after about the page time-out of a device
// that does not answer; the poll that asked comes again six seconds later.
constexpr int kNameRequestTimeoutMs = 5000;
// Names of devices found by a search are asked for more briefly.
constexpr int kSearchNameTimeoutMs = 2000;
// A search lasts a multiple of 1.28 seconds.
constexpr double kInquiryUnitSeconds = 1.28;

int errorStatus() { return errno != 0 ? errno : -1; }

// The adapter to use: the first one that is up, else the first one at all
// (present but powered off); -1 when there is none.
int adapterId() {
    const int up = hci_get_route(nullptr);
    if (up >= 0) return up;
    const int control = ::socket(AF_BLUETOOTH, SOCK_RAW | SOCK_CLOEXEC, BTPROTO_HCI);
    if (control < 0) return -1;
    const std::size_t size = sizeof(hci_dev_list_req) + HCI_MAX_DEV * sizeof(hci_dev_req);
    std::unique_ptr<hci_dev_list_req, decltype(&std::free)> list(static_cast<hci_dev_list_req*>(std::calloc(1, size)),
                                                                 &std::free);
    int id = -1;
    if (list) {
        list->dev_num = HCI_MAX_DEV;
        if (::ioctl(control, HCIGETDEVLIST, list.get()) == 0 && list->dev_num > 0) id = list->dev_req[0].dev_id;
    }
    ::close(control);
    return id;
}

bool parseAddress(const std::string& text, bdaddr_t& address) {
    return bachk(text.c_str()) >= 0 && str2ba(text.c_str(), &address) == 0;
}

std::string addressText(const bdaddr_t& address) {
    char text[18] = {};
    ba2str(&address, text);
    return text;
}

// The remote device's name over an open adapter socket; empty on failure,
// with `status` set to the error.
std::string readRemoteName(int socket, const bdaddr_t& address, int timeoutMs, int& status) {
    char name[HCI_MAX_NAME_LENGTH + 1] = {};
    errno = 0;
    if (hci_read_remote_name(socket, &address, HCI_MAX_NAME_LENGTH, name, timeoutMs) < 0) {
        status = errorStatus();
        return {};
    }
    status = 0;
    return name;
}

std::vector<BluetoothDeviceRef> searchNearbyDevices(int adapter, int seconds, int& error) {
    const int units = std::clamp(static_cast<int>(std::ceil(seconds / kInquiryUnitSeconds)), 1, 48);
    inquiry_info* results = nullptr;
    errno = 0;
    const int count = hci_inquiry(adapter, units, 255, nullptr, &results, IREQ_CACHE_FLUSH);
    std::vector<BluetoothDeviceRef> found;
    if (count < 0) {
        error = errorStatus();
        return found;
    }
    error = 0;
    const int socket = hci_open_dev(adapter);
    for (int i = 0; i < count; ++i) {
        int status = 0;
        const std::string name =
            socket >= 0 ? readRemoteName(socket, results[i].bdaddr, kSearchNameTimeoutMs, status) : "";
        found.push_back(std::make_shared<BluetoothDevice>(addressText(results[i].bdaddr), name));
    }
    if (socket >= 0) hci_close_dev(socket);
    bt_free(results);
    return found;
}

#endif

}  // namespace

BlueZBluetooth::BlueZBluetooth() = default;

BlueZBluetooth::~BlueZBluetooth() {
    std::vector<Worker> workers;
    {
        std::lock_guard<std::mutex> guard(lock_);
        workers.swap(workers_);
    }
    for (Worker& worker : workers)
        if (worker.thread.joinable()) worker.thread.join();
}

void BlueZBluetooth::runInBackground(std::function<void()> work) {
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([work = std::move(work), finished] {
        work();
        finished->store(true);
    });
    std::lock_guard<std::mutex> guard(lock_);
    for (Worker& worker : workers_)
        if (worker.finished->load() && worker.thread.joinable()) worker.thread.join();
    std::erase_if(workers_, [](const Worker& worker) { return !worker.thread.joinable(); });
    workers_.push_back(Worker{std::move(thread), finished});
}

#if TARNWICK_HAVE_BLUEZ

bool BlueZBluetooth::localDeviceAvailable() { return adapterId() >= 0; }

int BlueZBluetooth::localDevicePowerState() {
    const int adapter = adapterId();
    if (adapter < 0) return PowerOff;
    hci_dev_info info{};
    if (hci_devinfo(adapter, &info) < 0) return PowerOff;
    return hci_test_bit(HCI_UP, &info.flags) ? PowerOn : PowerOff;
}

int BlueZBluetooth::issueRemoteNameRequest(const BluetoothDeviceRef& device, std::uint64_t ticket) {
    bdaddr_t address;
    if (!parseAddress(device->getAddressString(), address)) return EINVAL;
    const int adapter = adapterId();
    if (adapter < 0) return ENODEV;
    errno = 0;
    const int socket = hci_open_dev(adapter);
    if (socket < 0) return errorStatus();
    runInBackground([this, socket, address, device, ticket] {
        int status = 0;
        const std::string name = readRemoteName(socket, address, kNameRequestTimeoutMs, status);
        hci_close_dev(socket);
        completeRemoteNameRequest(ticket, device, status, name);
    });
    return 0;
}

int BlueZBluetooth::startInquiry(const BluetoothDeviceInquiryRef& inquiry) {
    errno = 0;
    const int adapter = adapterId();
    // A sandbox or policy that keeps the process from the adapters is said as such.
    if (adapter < 0) return errno == EPERM || errno == EACCES ? errno : ENODEV;
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard<std::mutex> guard(lock_);
        searches_[inquiry.get()] = stopped;
    }
    const int seconds = inquiry->inquiryLength();
    std::weak_ptr<BluetoothDeviceInquiry> weak = inquiry;
    const BluetoothDeviceInquiry* key = inquiry.get();
    runInBackground([this, adapter, seconds, weak, stopped, key] {
        int error = 0;
        std::vector<BluetoothDeviceRef> found = searchNearbyDevices(adapter, seconds, error);
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (auto it = searches_.find(key); it != searches_.end() && it->second == stopped) searches_.erase(it);
        }
        RunLoop::main().performOnMainThread(
            [weak, stopped, found = std::move(found), error] {
                auto live = weak.lock();
                if (!live || stopped->load()) return;
                for (const BluetoothDeviceRef& device : found) live->deviceFound(device);
                live->complete(error, false);
            },
            false);
    });
    return 0;
}

#else

bool BlueZBluetooth::localDeviceAvailable() { return false; }

int BlueZBluetooth::localDevicePowerState() { return PowerOff; }

int BlueZBluetooth::issueRemoteNameRequest(const BluetoothDeviceRef&, std::uint64_t) { return ENODEV; }

int BlueZBluetooth::startInquiry(const BluetoothDeviceInquiryRef&) { return ENODEV; }

#endif

// The kernel search cannot be cut short; its late results are dropped.
int BlueZBluetooth::stopInquiry(const BluetoothDeviceInquiryRef& inquiry) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = searches_.find(inquiry.get());
        if (it != searches_.end()) {
            it->second->store(true);
            searches_.erase(it);
        }
    }
    announceStoppedInquiry(inquiry);
    return 0;
}

}  // namespace platform::desktop
