#include <gtest/gtest.h>

#include "platform/desktop/wayland/LockKeyboard.h"

#include <cstdlib>
#include <string>
#include <vector>
#include <xkbcommon/xkbcommon.h>

using platform::desktop::wayland::LockKeyboard;
using platform::desktop::wayland::RepeatInfo;
using platform::desktop::wayland::TypedKey;

namespace {

// wl_keyboard key codes (evdev, without XKB's 8).
constexpr std::uint32_t kE = 18, kY = 21, kA = 30, kApostrophe = 40, kLeftShift = 42;

std::string keymapText(const char* layout, const char* variant = "") {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names{"evdev", "pc105", layout, variant, ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    std::string result = text ? text : "";
    std::free(text);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return result;
}

std::string typed(LockKeyboard& keyboard, const std::vector<std::uint32_t>& keys) {
    std::string text;
    for (std::uint32_t key : keys) {
        if (auto press = keyboard.key(key, true)) text += press->text;
        keyboard.key(key, false);
    }
    return text;
}

struct Logged {
    std::vector<std::string> lines;
    LockKeyboard::Log log() {
        return [this](const std::string& line) { lines.push_back(line); };
    }
};

}  // namespace

// Every keymap the compositor sends is taken (a virtual keyboard uploads its
// own); one that cannot be read or compiled leaves a working keymap behind,
// never none.
TEST(LockKeyboard, TakesEveryKeymapAndKeepsOneWhenANewOneFails) {
    const std::string us = keymapText("us"), de = keymapText("de");
    if (us.empty() || de.empty()) GTEST_SKIP() << "xkeyboard-config is not installed";
    struct Case {
        const char* name;
        std::vector<std::string> keymaps;  // "" stands for a descriptor that cannot be mapped
        std::string typedOnYA;
        bool logged;
    };
    const Case cases[] = {
        {"us", {us}, "ya", false},
        {"us, then de", {us, de}, "za", false},
        {"de, then unreadable: de stays", {de, ""}, "za", true},
        {"unreadable first: the default keymap", {""}, "ya", true},
        {"us, then garbage: us stays", {us, "xkb_keymap { nonsense"}, "ya", true},
    };
    for (const Case& c : cases) {
        Logged logged;
        LockKeyboard keyboard(logged.log());
        for (const std::string& keymap : c.keymaps) {
            if (keymap.empty())
                keyboard.takeKeymapFile(-1, 4096);
            else
                keyboard.takeKeymapText(keymap);
        }
        EXPECT_TRUE(keyboard.hasKeymap()) << c.name;
        EXPECT_EQ(typed(keyboard, {kY, kA}), c.typedOnYA) << c.name;
        EXPECT_EQ(!logged.lines.empty(), c.logged) << c.name;
    }
}

TEST(LockKeyboard, ShiftDeadKeysAndRepeat) {
    const std::string us = keymapText("us"), intl = keymapText("us", "intl");
    if (us.empty() || intl.empty()) GTEST_SKIP() << "xkeyboard-config is not installed";
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    Logged logged;
    LockKeyboard keyboard(logged.log());
    keyboard.takeKeymapText(us);

    // Shift is the compositor's to say, through the modifier mask.
    keyboard.updateModifiers(1u << 0, 0, 0, 0);
    std::optional<TypedKey> shifted = keyboard.key(kA, true);
    ASSERT_TRUE(shifted);
    EXPECT_EQ(shifted->text, "A");
    EXPECT_TRUE(shifted->modifiers & platform::desktop::wayland::Shift);
    EXPECT_EQ(shifted->unshiftedKeysym, static_cast<std::uint32_t>(XKB_KEY_a));
    keyboard.key(kA, false);
    keyboard.updateModifiers(0, 0, 0, 0);

    // A held letter repeats at the compositor's rate; a modifier never does;
    // a rate of 0 switches repeat off.
    keyboard.setRepeatInfo(RepeatInfo{25, 600});
    keyboard.key(kA, true);
    EXPECT_EQ(keyboard.repeatingKey(), kA);
    std::optional<TypedKey> again = keyboard.repeat();
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->repeat);
    EXPECT_EQ(again->text, "a");
    keyboard.key(kA, false);
    EXPECT_FALSE(keyboard.repeatingKey());
    keyboard.key(kLeftShift, true);
    EXPECT_FALSE(keyboard.repeatingKey());
    keyboard.key(kLeftShift, false);
    keyboard.setRepeatInfo(RepeatInfo{0, 600});
    keyboard.key(kA, true);
    EXPECT_FALSE(keyboard.repeatingKey());
    keyboard.key(kA, false);

    // A dead key composes with the next letter through the locale's table.
    keyboard.takeKeymapText(intl);
    if (!keyboard.decoder().hasComposeTable()) GTEST_SKIP() << "no compose table for en_US.UTF-8";
    EXPECT_EQ(typed(keyboard, {kApostrophe, kE}), "é");
}
