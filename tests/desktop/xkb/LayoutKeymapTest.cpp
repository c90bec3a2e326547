#include <gtest/gtest.h>

#include "platform/desktop/xkb/KeyDecoder.h"
#include "platform/desktop/xkb/LayoutKeymap.h"

#include <memory>

using platform::desktop::compileLayout;
using platform::desktop::KeyDecoder;

// The guard reads the password with the layout it was set with: the key
// that types "y" on a US keyboard types "z" on a German one.
TEST(LayoutKeymap, TheStoredLayoutIsCompiledWhereTheSystemHasIt) {
    constexpr xkb_keycode_t kY = 29;  // evdev KEY_Y + 8
    struct Case {
        const char* identifier;
        const char* typed;  // nullptr: no keymap
    };
    const std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS),
                                                                             xkb_context_unref);
    for (const Case& c :
         {Case{"xkb:us", "y"}, Case{"xkb:de", "z"}, Case{"xkb:de(nodeadkeys)", "z"}, Case{"xkb:fr", "y"},
          Case{"xkb:no-such-layout", nullptr}, Case{"de", nullptr}, Case{"xkb:de(", nullptr},
          Case{"xkb:de;us", nullptr}, Case{"com.apple.keylayout.German", nullptr}}) {
        SCOPED_TRACE(c.identifier);
        xkb_keymap* keymap = compileLayout(context.get(), c.identifier, "evdev", "pc105");
        ASSERT_EQ(keymap != nullptr, c.typed != nullptr);
        if (!keymap) continue;
        KeyDecoder decoder("C");
        decoder.setKeymap(keymap);
        xkb_keymap_unref(keymap);
        EXPECT_EQ(decoder.press(kY).text, c.typed);
    }
}
