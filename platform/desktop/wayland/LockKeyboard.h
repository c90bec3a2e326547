#pragma once

#include "platform/desktop/xkb/KeyDecoder.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform::desktop::wayland {

// Modifier flags of a key press, independent of any toolkit.
enum KeyModifier : std::uint32_t { Shift = 1u << 0, Control = 1u << 1, Alt = 1u << 2, Super = 1u << 3 };

// A key as the lock's prompt needs it: the key symbol of the key in the
// keymap's current state, the text it types (after dead keys and compose
// sequences; empty while a sequence is still being typed) and whether it is
// the keyboard's own repeat.
struct TypedKey {
    std::uint32_t keysym = 0;
    std::uint32_t unshiftedKeysym = 0;  // the first level of the first group: names the key
    std::string text;
    bool repeat = false;
    std::uint32_t modifiers = 0;
};

// How the compositor wants held keys repeated; no repeat with rate 0.
struct RepeatInfo {
    int rate = 25;  // per second
    int delayMilliseconds = 600;
};

// The keyboard of a lock: the keymap the compositor sends (every new one is
// taken, a virtual keyboard uploads its own), its modifier state, and which
// key repeats; the text comes from the key decoder (dead keys and the
// locale's compose table). A keymap that cannot be
// read leaves the previous one, or the default keymap, in place: the lock
// never depends on it.
class LockKeyboard {
public:
    using Log = std::function<void(const std::string&)>;
    explicit LockKeyboard(Log log);
    ~LockKeyboard();
    LockKeyboard(const LockKeyboard&) = delete;
    LockKeyboard& operator=(const LockKeyboard&) = delete;

    // The XKB_KEYMAP_FORMAT_TEXT_V1 keymap of a wl_keyboard.keymap event;
    // the descriptor stays the caller's. False when it was not taken.
    bool takeKeymapFile(int fd, std::size_t size);
    bool takeKeymapText(const std::string& text);
    bool hasKeymap() const { return keymap_ != nullptr; }
    const KeyDecoder& decoder() const { return decoder_; }

    void updateModifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked, std::uint32_t group);
    // A press of the evdev key code `key` (wl_keyboard numbering); none for
    // releases. Updates the repeating key.
    std::optional<TypedKey> key(std::uint32_t key, bool pressed);
    // The press of the repeating key again, flagged as a repeat; none when no
    // key repeats.
    std::optional<TypedKey> repeat();
    // The keyboard's focus went elsewhere: nothing repeats, no sequence is half typed.
    void reset();

    void setRepeatInfo(RepeatInfo info) { repeatInfo_ = info; }
    const RepeatInfo& repeatInfo() const { return repeatInfo_; }
    std::optional<std::uint32_t> repeatingKey() const { return repeatingKey_; }

private:
    void useDefaultKeymap();
    void install(xkb_keymap* keymap);
    TypedKey press(std::uint32_t key);
    std::uint32_t modifierFlags() const;

    Log log_;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    KeyDecoder decoder_;
    std::uint32_t activeModifiers_ = 0;  // depressed, latched and locked
    RepeatInfo repeatInfo_;
    std::optional<std::uint32_t> repeatingKey_;
};

}  // namespace platform::desktop::wayland
