#include "platform/services/Bluetooth.h"

#include "platform/foundation/RunLoop.h"

#include <map>
#include <mutex>

namespace platform {

struct Bluetooth::PendingRequests {
    struct Request {
        const void* owner;
        NameRequestCompletion completion;
    };
    std::mutex lock;
    std::uint64_t nextTicket = 1;
    std::map<std::uint64_t, Request> requests;

    std::uint64_t add(const void* owner, NameRequestCompletion completion) {
        std::lock_guard<std::mutex> guard(lock);
        const std::uint64_t ticket = nextTicket++;
        requests.emplace(ticket, Request{owner, std::move(completion)});
        return ticket;
    }

    // The completion of a request still wanted, taken out so that it runs once.
    NameRequestCompletion take(std::uint64_t ticket) {
        std::lock_guard<std::mutex> guard(lock);
        auto it = requests.find(ticket);
        if (it == requests.end()) return nullptr;
        NameRequestCompletion completion = std::move(it->second.completion);
        requests.erase(it);
        return completion;
    }

    void removeOwner(const void* owner) {
        std::lock_guard<std::mutex> guard(lock);
        std::erase_if(requests, [owner](const auto& entry) { return entry.second.owner == owner; });
    }
};

Bluetooth::Bluetooth() : pending_(std::make_shared<PendingRequests>()) {}

int Bluetooth::remoteNameRequest(const BluetoothDeviceRef& device, const void* owner,
                                 NameRequestCompletion completion) {
    if (!device) return -1;
    const std::uint64_t ticket = pending_->add(owner, std::move(completion));
    const int result = issueRemoteNameRequest(device, ticket);
    if (result != 0) pending_->take(ticket);
    return result;
}

void Bluetooth::cancelRemoteNameRequests(const void* owner) { pending_->removeOwner(owner); }

void Bluetooth::completeRemoteNameRequest(std::uint64_t ticket, const BluetoothDeviceRef& device, int status,
                                          const std::string& name) {
    if (status == 0 && !name.empty()) device->setName(name);
    // The owner may cancel until the completion actually runs, so the
    // completion is looked up on the main thread, not here.
    RunLoop::main().performOnMainThread(
        [pending = pending_, ticket, device, status] {
            if (NameRequestCompletion completion = pending->take(ticket)) completion(device, status);
        },
        false);
}

void Bluetooth::announceStoppedInquiry(const BluetoothDeviceInquiryRef& inquiry) {
    std::weak_ptr<BluetoothDeviceInquiry> weak = inquiry;
    RunLoop::main().performOnMainThread(
        [weak] {
            if (auto live = weak.lock()) live->complete(0, true);
        },
        false);
}

}  // namespace platform
