#include <QGuiApplication>
#include <QKeyEvent>
#include <QtGui/qguiapplication_platform.h>

#include "platform/desktop/qt/QtShortcutRecorderWidget.h"

#include "platform/desktop/xkb/KeyTranslation.h"
#include "platform/desktop/qt/QtKeyModifiers.h"
#include "platform/ui/Event.h"

#include <X11/XKBlib.h>
#include <cctype>
#include <xkbcommon/xkbcommon.h>

namespace platform::desktop {

namespace {

Display* qtDisplay() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

bool isModifierKey(int key) {
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta ||
           key == Qt::Key_Super_L || key == Qt::Key_Super_R || key == Qt::Key_AltGr || key == Qt::Key_CapsLock;
}

// The key's code in the key table: the unshifted symbol of the key pressed,
// whatever the modifiers made of it.
std::optional<std::uint16_t> macKeyCodeOf(const QKeyEvent& event) {
    if (Display* display = qtDisplay()) {
        const KeySym keysym = XkbKeycodeToKeysym(display, static_cast<KeyCode>(event.nativeScanCode()), 0, 0);
        if (keysym != NoSymbol) return keys::macKeyCode(keysym);
    }
    return keys::macKeyCode(event.nativeVirtualKey());
}

std::string keyName(std::int32_t code) {
    const auto keysym = keys::keysymForMacKeyCode(static_cast<std::uint16_t>(code));
    if (!keysym) return "#" + std::to_string(code);
    const std::string typed = keys::charactersForKeysym(*keysym);
    if (typed.size() == 1 && std::isgraph(static_cast<unsigned char>(typed[0])))
        return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(typed[0]))));
    char name[64] = {};
    xkb_keysym_get_name(static_cast<xkb_keysym_t>(*keysym), name, sizeof name);
    return name;
}

}  // namespace

QtShortcutRecorderWidget::QtShortcutRecorderWidget(ShortcutRecorder& recorder) : recorder_(recorder) {
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QPushButton::clicked, this, [this] {
        if (recorder_.isRecording())
            recorder_.endRecording();
        else
            recorder_.beginRecording();
    });
}

QtShortcutRecorderWidget::~QtShortcutRecorderWidget() {
    if (grabbing_) releaseKeyboard();
}

std::string QtShortcutRecorderWidget::describe(const ShortcutRecorder::KeyCombo& combo) {
    if (combo.code == ShortcutRecorder::kNoKeyCode) return {};
    std::string text;
    if (combo.flags & Event::Control) text += "Ctrl+";
    if (combo.flags & Event::Option) text += "Alt+";
    if (combo.flags & Event::Shift) text += "Shift+";
    if (combo.flags & Event::Command) text += "Super+";
    return text + keyName(combo.code);
}

void QtShortcutRecorderWidget::sync() {
    setEnabled(recorder_.isEnabled());
    const std::string shown = describe(recorder_.keyCombo());
    if (recorder_.isRecording())
        setText(QStringLiteral("Type a shortcut\u2026"));
    else
        setText(shown.empty() ? QStringLiteral("Click to record a shortcut") : QString::fromStdString(shown));
    setToolTip(recorder_.isRecording() ? QStringLiteral("Escape cancels, Backspace clears") : QString());
    // A screen reader says what the shortcut is for and which one it is,
    // not the words on the button.
    const std::string purpose = recorder_.accessibilityLabel().empty() ? "Shortcut" : recorder_.accessibilityLabel();
    setAccessibleName(QString::fromStdString(purpose + ": " + (shown.empty() ? "none" : shown)));
    setAccessibleDescription(recorder_.isRecording()
                                 ? QStringLiteral("Type the new shortcut; Escape cancels, Backspace clears")
                                 : QStringLiteral("Press to record another shortcut"));
    if (recorder_.isRecording() && !grabbing_) {
        setFocus(Qt::OtherFocusReason);
        grabKeyboard();
        grabbing_ = true;
    } else if (!recorder_.isRecording() && grabbing_) {
        releaseKeyboard();
        grabbing_ = false;
    }
}

void QtShortcutRecorderWidget::keyPressEvent(QKeyEvent* event) {
    if (!recorder_.isRecording()) {
        QPushButton::keyPressEvent(event);
        return;
    }
    event->accept();
    if (isModifierKey(event->key()) || event->isAutoRepeat()) return;
    if (const auto code = macKeyCodeOf(*event)) recorder_.recordKey(*code, eventFlagsFor(event->modifiers()));
}

void QtShortcutRecorderWidget::focusOutEvent(QFocusEvent* event) {
    recorder_.endRecording();
    QPushButton::focusOutEvent(event);
}

}  // namespace platform::desktop
