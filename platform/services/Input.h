#pragma once

#include "platform/foundation/Object.h"
#include "platform/services/Service.h"
#include "platform/ui/Event.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// A listen-only tap on every input event of the session. Events reach the
// callback on the main thread.
class EventTap : public Service<EventTap> {
public:
    virtual ~EventTap() = default;
    using Callback = std::function<void(const EventRef&)>;
    // False when the tap cannot be created.
    virtual bool create(Callback callback) = 0;
    virtual void destroy() = 0;
};

// Modifier flags in the Carbon encoding, in which hot keys are stored.
namespace carbon {
inline constexpr std::int32_t cmdKey = 0x100;
inline constexpr std::int32_t shiftKey = 0x200;
inline constexpr std::int32_t optionKey = 0x800;
inline constexpr std::int32_t controlKey = 0x1000;
}  // namespace carbon

// A global hot key: a key code and Carbon modifier flags.
struct KeyCombo {
    std::int32_t keyCode = 0;
    std::int32_t modifiers = 0;
    bool operator==(const KeyCombo&) const = default;
};

class HotKey : public Object {
public:
    // Where the combination comes from. Settings that hold none read as a
    // combination all the same (code 0, no modifiers), which a hot-key
    // centre may refuse; refusing what nobody chose is no news to report.
    enum class Origin { Chosen, NeverStored };

    HotKey(std::string identifier, KeyCombo combo, std::function<void(HotKey&)> action, Origin origin = Origin::Chosen)
        : identifier_(std::move(identifier)), combo_(combo), action_(std::move(action)), origin_(origin) {}
    const std::string& identifier() const { return identifier_; }
    const KeyCombo& keyCombo() const { return combo_; }
    Origin origin() const { return origin_; }
    void invoke() { action_(*this); }

private:
    std::string identifier_;
    KeyCombo combo_;
    std::function<void(HotKey&)> action_;
    Origin origin_;
};

using HotKeyRef = std::shared_ptr<HotKey>;

// Registers global hot keys; a pressed combination invokes its hot key on the
// main thread.
class HotKeyCenter : public Service<HotKeyCenter> {
public:
    virtual ~HotKeyCenter() = default;
    virtual bool registerHotKey(const HotKeyRef& hotKey) = 0;
    // Accepts none.
    virtual void unregisterHotKey(const HotKeyRef& hotKey) = 0;
};

}  // namespace platform
