#pragma once

#include <cstdint>
#include <string>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

namespace platform::desktop {

// Turns key presses into text through an xkb keymap and the locale's compose
// table, so that dead keys and compose sequences type what they type in any
// other program of the session. Knows nothing of the display server: the
// caller feeds it the keymap that is live and the modifiers of each key.
class KeyDecoder {
public:
    // The compose table of `locale`; when empty, of the first of LC_ALL,
    // LC_CTYPE and LANG that is set, else of "C". XCOMPOSEFILE and
    // ~/.XCompose take precedence, as everywhere else. The table is read at
    // the first key, not here: reading it takes milliseconds that a program
    // starting up or locking has better uses for.
    explicit KeyDecoder(const std::string& locale = {});
    ~KeyDecoder();
    KeyDecoder(const KeyDecoder&) = delete;
    KeyDecoder& operator=(const KeyDecoder&) = delete;

    // A new keymap (the decoder keeps a reference): modifiers and any
    // unfinished compose sequence start afresh.
    void setKeymap(xkb_keymap* keymap);
    bool hasKeymap() const { return state_ != nullptr; }
    bool hasComposeTable() const { return composeState() != nullptr; }
    void updateMask(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked, std::uint32_t group);
    // The modifiers and group of a core X event's state field.
    void updateMaskFromCoreState(unsigned state);

    struct Key {
        xkb_keysym_t keysym = 0;
        // UTF-8; empty while a sequence is being composed and for keys
        // that type nothing. A key that cancels a sequence types its own.
        std::string text;
        bool composing = false;
    };
    Key press(xkb_keycode_t keycode);
    void release(xkb_keycode_t keycode);
    // The symbol of the key's first level in the first group: the name of
    // the key whatever the modifiers, the group or the compose state.
    xkb_keysym_t baseKeysym(xkb_keycode_t keycode) const;
    // Drops an unfinished compose sequence.
    void resetCompose();

    // The locale whose compose table the decoder reads.
    static std::string localeFromEnvironment();

private:
    Key composed(xkb_compose_state* compose, xkb_keysym_t keysym, xkb_keycode_t keycode);
    // The compose state, the table read on the first call; null without a table.
    xkb_compose_state* composeState() const;

    xkb_context* context_ = nullptr;
    std::string composeLocale_;
    mutable bool composeRead_ = false;
    mutable xkb_compose_table* composeTable_ = nullptr;
    mutable xkb_compose_state* compose_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
};

}  // namespace platform::desktop
