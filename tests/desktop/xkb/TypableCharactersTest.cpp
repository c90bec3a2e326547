#include <gtest/gtest.h>

#include "desktop/xkb/ComposeFile.h"

#include "platform/desktop/xkb/TypableCharacters.h"

#include <string>
#include <vector>

using platform::desktop::TypableCharacters;

namespace {

struct Case {
    const char* layout;
    const char* variant;
    const char* options;
    const char* composeFile;  // empty: the locale's own
    const char* text;
    std::vector<std::string> untypable;
};

const std::vector<Case> kCases = {
    {"us", "", "", "", "Correct horse 9!", {}},
    {"us", "", "", "", "café 9 Жук", {"é", "Ж", "у", "к"}},
    {"us", "intl", "", "", "café ñ ü ç", {}},
    {"de", "", "", "", "Grüße é € Ж Ж", {"Ж"}},
    {"fr", "", "", "", "à ê ü ç Ж", {"Ж"}},
    {"us,ru", "", "grp:alt_shift_toggle", "", "Жук bug", {}},
    // No key types Multi_key, so its sequences are out of reach.
    {"us", "", "", "", "©", {"©"}},
    {"us", "", "compose:ralt", "<Multi_key> <o> <c> : \"\\251\" copyright\n", "©", {}},
    {"us", "", "compose:ralt", "<Multi_key> <o> <c> : copyright\n<Multi_key> <e> <e> : \"é\"\n", "©é", {}},
    // A user's file replaces the locale's unless it includes it.
    {"us", "intl", "", "<Multi_key> <o> <c> : \"©\"\n", "ẽ", {"ẽ"}},
    {"us", "intl", "", "include \"%L\"\n", "ẽ", {}},
};

}  // namespace

TEST(TypableCharacters, NamesTheCharactersThatNeitherKeysNorComposeSequencesType) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    ASSERT_TRUE(context);
    ASSERT_FALSE(TypableCharacters::localeComposeFile("en_US.UTF-8").empty());
    EXPECT_EQ(TypableCharacters::localeComposeFile("C.UTF-8"), TypableCharacters::localeComposeFile("en_US.UTF-8"));
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.layout) + "(" + c.variant + ") " + c.composeFile + " " + c.text);
        ComposeFile file(c.composeFile);
        const xkb_rule_names names{"evdev", "pc105", c.layout, c.variant, c.options};
        xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        ASSERT_TRUE(keymap);
        EXPECT_EQ(TypableCharacters(keymap, "en_US.UTF-8").untypable(c.text), c.untypable);
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
}
