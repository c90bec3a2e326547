#pragma once

#include "platform/services/Input.h"

#include <mutex>
#include <vector>

namespace platform::headless {

// Global hot keys in memory: tests press combinations.
class HeadlessHotKeyCenter final : public HotKeyCenter {
public:
    bool registerHotKey(const HotKeyRef& hotKey) override;
    void unregisterHotKey(const HotKeyRef& hotKey) override;

    void setRegistrationFails(bool fails);
    std::vector<HotKeyRef> registered() const;
    // The registered hot key with this identifier, or none.
    HotKeyRef registeredWithIdentifier(const std::string& identifier) const;
    // Presses a combination: every hot key registered for it runs on the main
    // thread. False when none is registered.
    bool press(const KeyCombo& combo);

private:
    mutable std::mutex lock_;
    bool registrationFails_ = false;
    std::vector<HotKeyRef> registered_;
};

}  // namespace platform::headless
