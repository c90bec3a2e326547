#include "platform/desktop/xkb/KeyDecoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform::desktop {

namespace {

std::string utf8Of(xkb_state* state, xkb_keycode_t keycode) {
    char buffer[64];
    const int length = xkb_state_key_get_utf8(state, keycode, buffer, sizeof buffer);
    std::string text(buffer, static_cast<std::size_t>(length > 0 ? std::min<int>(length, sizeof buffer - 1) : 0));
    ::explicit_bzero(buffer, sizeof buffer);
    return text;
}

std::string composedUtf8(xkb_compose_state* compose) {
    char buffer[64];
    const int length = xkb_compose_state_get_utf8(compose, buffer, sizeof buffer);
    std::string text(buffer, static_cast<std::size_t>(length > 0 ? std::min<int>(length, sizeof buffer - 1) : 0));
    ::explicit_bzero(buffer, sizeof buffer);
    return text;
}

}  // namespace

std::string KeyDecoder::localeFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(name); value && *value) return value;
    return "C";
}

KeyDecoder::KeyDecoder(const std::string& locale)
    : context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)),
      composeLocale_(locale.empty() ? localeFromEnvironment() : locale) {}

xkb_compose_state* KeyDecoder::composeState() const {
    if (composeRead_ || !context_) return compose_;
    composeRead_ = true;
    composeTable_ = xkb_compose_table_new_from_locale(context_, composeLocale_.c_str(), XKB_COMPOSE_COMPILE_NO_FLAGS);
    if (composeTable_) compose_ = xkb_compose_state_new(composeTable_, XKB_COMPOSE_STATE_NO_FLAGS);
    return compose_;
}

KeyDecoder::~KeyDecoder() {
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    xkb_compose_state_unref(compose_);
    xkb_compose_table_unref(composeTable_);
    xkb_context_unref(context_);
}

void KeyDecoder::setKeymap(xkb_keymap* keymap) {
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    keymap_ = keymap ? xkb_keymap_ref(keymap) : nullptr;
    state_ = keymap_ ? xkb_state_new(keymap_) : nullptr;
    resetCompose();
}

void KeyDecoder::updateMask(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked, std::uint32_t group) {
    if (state_) xkb_state_update_mask(state_, depressed, latched, locked, 0, 0, group);
}

// The core state carries the effective modifiers in its low byte and the
// effective group in bits 13 and 14; X has already combined what is held,
// latched and locked, so they all count as held here.
void KeyDecoder::updateMaskFromCoreState(unsigned state) { updateMask(state & 0xFFu, 0, 0, (state >> 13) & 0x3u); }

xkb_keysym_t KeyDecoder::baseKeysym(xkb_keycode_t keycode) const {
    const xkb_keysym_t* symbols = nullptr;
    if (!keymap_ || xkb_keymap_key_get_syms_by_level(keymap_, keycode, 0, 0, &symbols) < 1) return XKB_KEY_NoSymbol;
    return symbols[0];
}

void KeyDecoder::resetCompose() {
    if (compose_) xkb_compose_state_reset(compose_);
}

KeyDecoder::Key KeyDecoder::press(xkb_keycode_t keycode) {
    if (!state_) return {};
    const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state_, keycode);
    if (keysym == XKB_KEY_NoSymbol) return {keysym, utf8Of(state_, keycode), false};
    if (xkb_compose_state* compose = composeState()) return composed(compose, keysym, keycode);
    return {keysym, utf8Of(state_, keycode), false};
}

// Modifiers never take part in a sequence (the table feeds them as ignored),
// so Shift between a dead key and its letter works as everywhere else.
KeyDecoder::Key KeyDecoder::composed(xkb_compose_state* compose, xkb_keysym_t keysym, xkb_keycode_t keycode) {
    if (xkb_compose_state_feed(compose, keysym) == XKB_COMPOSE_FEED_IGNORED)
        return {keysym, utf8Of(state_, keycode), false};
    switch (xkb_compose_state_get_status(compose)) {
        case XKB_COMPOSE_COMPOSING: return {keysym, {}, true};
        case XKB_COMPOSE_COMPOSED: {
            Key key{xkb_compose_state_get_one_sym(compose), composedUtf8(compose), false};
            xkb_compose_state_reset(compose);
            return key;
        }
        case XKB_COMPOSE_CANCELLED:
            // The key that broke the sequence types what it types alone, as
            // in the toolkits' fields where the password was set.
            xkb_compose_state_reset(compose);
            break;
        case XKB_COMPOSE_NOTHING: break;
    }
    return {keysym, utf8Of(state_, keycode), false};
}

// Modifiers and group come whole from the server (updateMask), never from
// counting presses and releases here, so a release changes nothing: a key
// released under another keymap cannot leave a modifier stuck.
void KeyDecoder::release(xkb_keycode_t) {}

}  // namespace platform::desktop
