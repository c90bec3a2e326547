#include "platform/desktop/wayland/LockKeyboard.h"

#include <cstring>
#include <sys/mman.h>

namespace platform::desktop::wayland {

namespace {

// wl_keyboard numbers keys as evdev does; XKB adds 8.
constexpr std::uint32_t kEvdevOffset = 8;

}  // namespace

LockKeyboard::LockKeyboard(Log log) : log_(std::move(log)), context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

LockKeyboard::~LockKeyboard() {
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
}

bool LockKeyboard::takeKeymapFile(int fd, std::size_t size) {
    void* mapped = size ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    if (mapped == MAP_FAILED) {
        log_("Tarnwick: the compositor's keymap cannot be read; the lock keeps " +
             std::string(keymap_ ? "the previous keymap" : "the default keymap"));
        if (!keymap_) useDefaultKeymap();
        return false;
    }
    // The text ends with a NUL that the size counts.
    const auto* text = static_cast<const char*>(mapped);
    const bool taken = takeKeymapText(std::string(text, ::strnlen(text, size)));
    ::munmap(mapped, size);
    return taken;
}

bool LockKeyboard::takeKeymapText(const std::string& text) {
    xkb_keymap* keymap =
        context_ && !text.empty()
            ? xkb_keymap_new_from_string(context_, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS)
            : nullptr;
    if (!keymap) {
        log_("Tarnwick: the compositor sent a keymap that does not compile; the lock keeps " +
             std::string(keymap_ ? "the previous keymap" : "the default keymap"));
        if (!keymap_) useDefaultKeymap();
        return false;
    }
    install(keymap);
    return true;
}

void LockKeyboard::useDefaultKeymap() {
    if (!context_) return;
    if (xkb_keymap* keymap = xkb_keymap_new_from_names(context_, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS)) install(keymap);
}

void LockKeyboard::install(xkb_keymap* keymap) {
    decoder_.setKeymap(keymap);
    xkb_keymap_unref(keymap_);
    keymap_ = keymap;
    activeModifiers_ = 0;
    repeatingKey_.reset();
}

void LockKeyboard::updateModifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked,
                                   std::uint32_t group) {
    activeModifiers_ = depressed | latched | locked;
    decoder_.updateMask(depressed, latched, locked, group);
}

std::optional<TypedKey> LockKeyboard::key(std::uint32_t key, bool pressed) {
    if (!keymap_) useDefaultKeymap();
    if (!keymap_) return std::nullopt;
    if (!pressed) {
        decoder_.release(key + kEvdevOffset);
        if (repeatingKey_ == key) repeatingKey_.reset();
        return std::nullopt;
    }
    const bool repeats = repeatInfo_.rate > 0 && xkb_keymap_key_repeats(keymap_, key + kEvdevOffset);
    repeatingKey_ = repeats ? std::optional<std::uint32_t>(key) : std::nullopt;
    return press(key);
}

std::optional<TypedKey> LockKeyboard::repeat() {
    if (!repeatingKey_ || !keymap_) return std::nullopt;
    TypedKey again = press(*repeatingKey_);
    again.repeat = true;
    return again;
}

void LockKeyboard::reset() {
    repeatingKey_.reset();
    decoder_.resetCompose();
}

TypedKey LockKeyboard::press(std::uint32_t key) {
    const KeyDecoder::Key decoded = decoder_.press(key + kEvdevOffset);
    TypedKey result;
    result.keysym = decoded.keysym;
    const xkb_keysym_t* firstLevel = nullptr;
    if (xkb_keymap_key_get_syms_by_level(keymap_, key + kEvdevOffset, 0, 0, &firstLevel) > 0)
        result.unshiftedKeysym = firstLevel[0];
    result.text = decoded.text;
    result.modifiers = modifierFlags();
    return result;
}

std::uint32_t LockKeyboard::modifierFlags() const {
    const auto active = [this](const char* name) {
        const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap_, name);
        return index != XKB_MOD_INVALID && index < 32 && (activeModifiers_ & (1u << index));
    };
    std::uint32_t flags = 0;
    if (active(XKB_MOD_NAME_SHIFT)) flags |= Shift;
    if (active(XKB_MOD_NAME_CTRL)) flags |= Control;
    if (active(XKB_MOD_NAME_ALT)) flags |= Alt;
    if (active(XKB_MOD_NAME_LOGO)) flags |= Super;
    return flags;
}

}  // namespace platform::desktop::wayland
