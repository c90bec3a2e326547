#include "platform/ui/ShortcutRecorder.h"

#include "platform/services/Input.h"
#include "platform/ui/Event.h"

#include <algorithm>
#include <array>
#include <utility>

namespace platform {

namespace {

constexpr std::uint32_t kCombinationFlags = Event::Shift | Event::Control | Event::Option | Event::Command;
// Flags that make a key a combination rather than typing.
constexpr std::uint32_t kCommandFlags = Event::Control | Event::Option | Event::Command;

constexpr std::array<std::pair<std::uint32_t, std::int32_t>, 4> kFlagPairs = {{
    {Event::Command, carbon::cmdKey},
    {Event::Shift, carbon::shiftKey},
    {Event::Option, carbon::optionKey},
    {Event::Control, carbon::controlKey},
}};

// F1 to F20, which type nothing and may be recorded alone.
constexpr std::array<std::uint16_t, 20> kFunctionKeys = {122, 120, 99,  118, 96,  97,  98, 100, 101, 109,
                                                         103, 111, 105, 107, 113, 106, 64, 79,  80,  90};
constexpr std::uint16_t kForwardDelete = 117;

bool isFunctionKey(std::uint16_t keyCode) {
    return std::find(kFunctionKeys.begin(), kFunctionKeys.end(), keyCode) != kFunctionKeys.end();
}

}  // namespace

std::int32_t ShortcutRecorder::cocoaToCarbonFlags(std::uint32_t cocoaFlags) {
    std::int32_t carbonFlags = 0;
    for (const auto& [cocoa, carbonFlag] : kFlagPairs)
        if (cocoaFlags & cocoa) carbonFlags |= carbonFlag;
    return carbonFlags;
}

std::uint32_t ShortcutRecorder::carbonToCocoaFlags(std::int32_t carbonFlags) {
    std::uint32_t cocoaFlags = 0;
    for (const auto& [cocoa, carbonFlag] : kFlagPairs)
        if (carbonFlags & carbonFlag) cocoaFlags |= cocoa;
    return cocoaFlags;
}

void ShortcutRecorder::setKeyCombo(KeyCombo combo) {
    combo_ = {combo.flags & kCombinationFlags, combo.code};
    changed();
}

void ShortcutRecorder::beginRecording() {
    if (!isEnabled() || recording_) return;
    recording_ = true;
    changed();
}

void ShortcutRecorder::endRecording() {
    if (!recording_) return;
    recording_ = false;
    changed();
}

bool ShortcutRecorder::recordKey(std::uint16_t keyCode, std::uint32_t flags) {
    if (!recording_) return false;
    flags &= kCombinationFlags;
    if (flags == 0 && keyCode == keycode::Escape) {
        endRecording();
        return true;
    }
    if (flags == 0 && (keyCode == keycode::Delete || keyCode == kForwardDelete)) {
        record({});
        return true;
    }
    if (!accepts(keyCode, flags)) return false;
    record({flags, keyCode});
    return true;
}

bool ShortcutRecorder::accepts(std::uint16_t keyCode, std::uint32_t flags) {
    if (!(flags & kCommandFlags) && !isFunctionKey(keyCode)) return false;
    std::string reason;
    return !(delegate_ && delegate_->shortcutRecorderIsKeyCode(*this, keyCode, flags, reason));
}

void ShortcutRecorder::record(KeyCombo combo) {
    recording_ = false;
    setKeyCombo(combo);
    if (delegate_) delegate_->shortcutRecorderKeyComboDidChange(*this, combo_.code, combo_.flags);
}

}  // namespace platform
