#pragma once

#include <QPushButton>

#include "platform/ui/ShortcutRecorder.h"

#include <string>

namespace platform::desktop {

// Draws a shortcut recorder: a button showing the combination ("Ctrl+Shift+L"),
// which records the next combination typed once clicked. While recording it
// holds the keyboard, so that the desktop's own shortcuts do not take the
// keys; it lets go when the recording ends or the window loses focus.
class QtShortcutRecorderWidget final : public QPushButton {
public:
    explicit QtShortcutRecorderWidget(ShortcutRecorder& recorder);
    ~QtShortcutRecorderWidget() override;

    // Follows the model: text, enabled, recording.
    void sync();

    // The combination as the desktop writes shortcuts; empty for none.
    static std::string describe(const ShortcutRecorder::KeyCombo& combo);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    ShortcutRecorder& recorder_;
    bool grabbing_ = false;
};

}  // namespace platform::desktop
