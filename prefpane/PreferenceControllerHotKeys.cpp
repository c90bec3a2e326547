#include "prefpane/PreferenceController.h"

#include "platform/foundation/Defaults.h"

#include <cstdint>

std::string PreferenceController::hotKeyPrefixFor(const platform::ShortcutRecorder& recorder) const {
    return &recorder == lockScreenHotKeyInput.get() ? "lockScreen" : "showLog";
}

void PreferenceController::readHotKeyDefaultsFor(platform::ShortcutRecorder& recorder) {
    const std::string prefix = hotKeyPrefixFor(recorder);
    std::int16_t code = -1;
    std::int64_t modifiers = 0;
    const platform::Value storedCode = platform::preferences::copyAppValue(prefix + "HotKeyCode", appID_);
    if (storedCode.isNumber()) code = storedCode.shortValue();
    const platform::Value storedModifiers = platform::preferences::copyAppValue(prefix + "HotKeyModifiers", appID_);
    if (storedModifiers.isNumber()) modifiers = storedModifiers.integerValue();
    if (code == -1) return;
    recorder.setKeyCombo({platform::ShortcutRecorder::carbonToCocoaFlags(static_cast<std::int32_t>(modifiers)), code});
}

void PreferenceController::shortcutRecorderKeyComboDidChange(platform::ShortcutRecorder& recorder, std::int32_t,
                                                             std::uint32_t) {
    const std::string prefix = hotKeyPrefixFor(recorder);
    const platform::ShortcutRecorder::KeyCombo combo = recorder.keyCombo();
    writeValue(prefix + "HotKeyCode", static_cast<long long>(combo.code));
    writeValue(prefix + "HotKeyModifiers", static_cast<long long>(static_cast<std::uint32_t>(
                                               platform::ShortcutRecorder::cocoaToCarbonFlags(combo.flags))));
    synchronizeWithApplication();
    showCompositorNotes();
}

bool PreferenceController::shortcutRecorderIsKeyCode(platform::ShortcutRecorder&, std::int32_t, std::uint32_t,
                                                     std::string&) {
    return false;
}
