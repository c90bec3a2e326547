#pragma once

#include "platform/ui/Control.h"

#include <cstdint>
#include <string>

namespace platform {

class ShortcutRecorder;

// Hears what a shortcut recorder records.
class ShortcutRecorderDelegate {
public:
    virtual ~ShortcutRecorderDelegate() = default;
    // Whether the combination is taken by something else; a taken one is not
    // recorded, and `reason` may say why.
    virtual bool shortcutRecorderIsKeyCode(ShortcutRecorder& recorder, std::int32_t keyCode, std::uint32_t flags,
                                           std::string& reason) = 0;
    // The user recorded a new combination or cleared the recorder.
    virtual void shortcutRecorderKeyComboDidChange(ShortcutRecorder& recorder, std::int32_t keyCode,
                                                   std::uint32_t flags) = 0;
};

// Records one key combination: a macOS virtual key code and modifier flags in
// the event encoding (Event::Modifier). A click starts recording; the next
// combination with Command, Control or Option (or a function key alone) is
// taken, Escape cancels, Backspace or forward Delete clears the recorder to
// no combination (key code -1). Keys arrive through `recordKey`, which the
// backend calls (headless tests call it directly).
class ShortcutRecorder : public Control {
public:
    static constexpr std::int32_t kNoKeyCode = -1;
    struct KeyCombo {
        std::uint32_t flags = 0;
        std::int32_t code = kNoKeyCode;
        bool operator==(const KeyCombo&) const = default;
    };

    explicit ShortcutRecorder(Rect frame = {}) : Control(frame) {}

    const KeyCombo& keyCombo() const { return combo_; }
    // Shows a combination without telling the delegate.
    void setKeyCombo(KeyCombo combo);

    ShortcutRecorderDelegate* delegate() const { return delegate_; }
    void setDelegate(ShortcutRecorderDelegate* delegate) { delegate_ = delegate; }

    bool isRecording() const { return recording_; }
    void beginRecording();
    void endRecording();
    // A key pressed while recording; true when it ended the recording.
    bool recordKey(std::uint16_t keyCode, std::uint32_t flags);

    // Between the event encoding and the Carbon one (platform::carbon).
    static std::int32_t cocoaToCarbonFlags(std::uint32_t cocoaFlags);
    static std::uint32_t carbonToCocoaFlags(std::int32_t carbonFlags);

private:
    bool accepts(std::uint16_t keyCode, std::uint32_t flags);
    void record(KeyCombo combo);

    KeyCombo combo_;
    bool recording_ = false;
    ShortcutRecorderDelegate* delegate_ = nullptr;
};

}  // namespace platform
