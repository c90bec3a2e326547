#include <gtest/gtest.h>

#include "desktop/xkb/ComposeFile.h"

#include "platform/desktop/xkb/KeyDecoder.h"

#include <string>
#include <vector>

using platform::desktop::KeyDecoder;

namespace {

// evdev key codes as xkb numbers them (kernel code + 8).
constexpr xkb_keycode_t kQ = 24, kE = 26, kO = 32, kApostrophe = 48, kC = 54, kRightAlt = 108, kSemicolon = 47;
constexpr std::uint32_t kShift = 1u << 0;

struct Stroke {
    xkb_keycode_t keycode;
    std::uint32_t modifiers = 0;
};

struct Case {
    const char* name;
    const char* layout;
    const char* variant;
    const char* options;
    const char* composeFile;  // empty: the locale's own table
    std::vector<Stroke> strokes;
    const char* text;
};

const std::vector<Case> kCases = {
    {"dead acute then e", "us", "intl", "", "", {{kApostrophe}, {kE}}, "é"},
    {"dead acute then shifted e", "us", "intl", "", "", {{kApostrophe}, {kE, kShift}}, "É"},
    {"German letters need no composing", "de", "", "", "", {{kSemicolon}, {kQ}}, "öq"},
    {"Spanish dead acute", "es", "", "", "", {{kApostrophe}, {kE}}, "é"},
    {"Multi_key sequence of a Compose file",
     "us",
     "",
     "compose:ralt",
     "<Multi_key> <o> <c> : \"©\" copyright\n",
     {{kRightAlt}, {kO}, {kC}, {kE}},
     "©e"},
    {"a cancelled sequence leaves the breaking key", "us", "intl", "", "", {{kApostrophe}, {kQ}, {kE}}, "qe"},
    {"sequence of a Compose file that includes the locale's",
     "us",
     "intl",
     "",
     "include \"%L\"\n<dead_acute> <q> : \"Q\"\n",
     {{kApostrophe}, {kQ}, {kApostrophe}, {kE}},
     "Qé"},
};

xkb_keymap* keymapFor(xkb_context* context, const Case& c) {
    const xkb_rule_names names{"evdev", "pc105", c.layout, c.variant, c.options};
    return xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
}

std::string typeStrokes(KeyDecoder& decoder, const std::vector<Stroke>& strokes) {
    std::string text;
    for (const Stroke& stroke : strokes) {
        decoder.updateMask(stroke.modifiers, 0, 0, 0);
        text += decoder.press(stroke.keycode).text;
        decoder.release(stroke.keycode);
    }
    return text;
}

}  // namespace

TEST(KeyDecoder, TypesWhatTheLayoutAndTheComposeTableType) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    ASSERT_TRUE(context);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ComposeFile file(c.composeFile);
        KeyDecoder decoder("en_US.UTF-8");
        ASSERT_TRUE(decoder.hasComposeTable());
        xkb_keymap* keymap = keymapFor(context, c);
        ASSERT_TRUE(keymap) << "no xkb data for " << c.layout;
        decoder.setKeymap(keymap);
        xkb_keymap_unref(keymap);
        EXPECT_EQ(typeStrokes(decoder, c.strokes), c.text);
    }
    xkb_context_unref(context);
}

TEST(KeyDecoder, ANewKeymapDropsAnUnfinishedSequence) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    KeyDecoder decoder("en_US.UTF-8");
    xkb_keymap* intl = keymapFor(context, {"", "us", "intl", "", "", {}, ""});
    xkb_keymap* us = keymapFor(context, {"", "us", "", "", "", {}, ""});
    decoder.setKeymap(intl);
    const KeyDecoder::Key dead = decoder.press(kApostrophe);
    EXPECT_TRUE(dead.composing);
    EXPECT_EQ(dead.text, "");
    decoder.setKeymap(us);
    EXPECT_EQ(decoder.press(kE).text, "e");
    xkb_keymap_unref(us);
    xkb_keymap_unref(intl);
    xkb_context_unref(context);
}

TEST(KeyDecoder, TypesNothingWithoutAKeymap) {
    KeyDecoder decoder("C");
    EXPECT_FALSE(decoder.hasKeymap());
    EXPECT_EQ(decoder.press(kE).text, "");
}
