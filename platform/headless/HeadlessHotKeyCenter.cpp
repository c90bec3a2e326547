#include "platform/headless/HeadlessHotKeyCenter.h"

#include "platform/foundation/RunLoop.h"

#include <algorithm>

namespace platform::headless {

bool HeadlessHotKeyCenter::registerHotKey(const HotKeyRef& hotKey) {
    if (!hotKey) return false;
    std::lock_guard<std::mutex> guard(lock_);
    if (registrationFails_) return false;
    if (std::find(registered_.begin(), registered_.end(), hotKey) == registered_.end()) registered_.push_back(hotKey);
    return true;
}

void HeadlessHotKeyCenter::unregisterHotKey(const HotKeyRef& hotKey) {
    if (!hotKey) return;
    std::lock_guard<std::mutex> guard(lock_);
    std::erase(registered_, hotKey);
}

void HeadlessHotKeyCenter::setRegistrationFails(bool fails) {
    std::lock_guard<std::mutex> guard(lock_);
    registrationFails_ = fails;
}

std::vector<HotKeyRef> HeadlessHotKeyCenter::registered() const {
    std::lock_guard<std::mutex> guard(lock_);
    return registered_;
}

HotKeyRef HeadlessHotKeyCenter::registeredWithIdentifier(const std::string& identifier) const {
    std::lock_guard<std::mutex> guard(lock_);
    for (const HotKeyRef& key : registered_)
        if (key->identifier() == identifier) return key;
    return nullptr;
}

bool HeadlessHotKeyCenter::press(const KeyCombo& combo) {
    std::vector<HotKeyRef> hits;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const HotKeyRef& key : registered_)
            if (key->keyCombo() == combo) hits.push_back(key);
    }
    for (const HotKeyRef& key : hits) RunLoop::main().performOnMainThread([key] { key->invoke(); }, true);
    return !hits.empty();
}

}  // namespace platform::headless
