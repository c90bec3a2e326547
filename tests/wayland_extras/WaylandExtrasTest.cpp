// The Wayland pieces that need no compositor.

#include "platform/desktop/wayland/extras/WaylandGamma.h"
#include "platform/desktop/wayland/extras/WaylandKeymapLayouts.h"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace {

using platform::desktop::wayland::WaylandGamma;
using platform::desktop::wayland::WaylandKeymapLayouts;

// The keymap text a compositor sends, as xkbcommon writes it.
std::string keymapText(const char* layouts, const char* variants, const char* options = "") {
    const std::unique_ptr<xkb_context, void (*)(xkb_context*)> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS),
                                                                       xkb_context_unref);
    const xkb_rule_names names{"evdev", "pc105", layouts, variants, options};
    const std::unique_ptr<xkb_keymap, void (*)(xkb_keymap*)> keymap(
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS), xkb_keymap_unref);
    if (!keymap) return {};
    const std::unique_ptr<char, void (*)(void*)> text(xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1),
                                                      free);
    return text ? text.get() : "";
}

// A password's layout keeps the name it has on X11, whatever options the
// keymap carries: from the rules' components where the keymap keeps them,
// else from its groups' descriptions through the XKB registry.
TEST(WaylandKeymapLayouts, LayoutsAreNamedAsOnX11) {
    const std::string single = keymapText("us", "");
    if (single.empty()) GTEST_SKIP() << "no XKB data (xkb-data) to compile a keymap from";
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {single, {"xkb:us"}},
        {keymapText("us,de", ",nodeadkeys"), {"xkb:us", "xkb:de(nodeadkeys)"}},
        {keymapText("fr,us,ru", "", "ctrl:nocaps,grp:alt_shift_toggle"), {"xkb:fr", "xkb:us", "xkb:ru"}},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(WaylandKeymapLayouts::layoutsOfKeymap(text), expected);

    // A keymap written by hand may name its symbols after the rules' components.
    std::string named = keymapText("de", "");
    const auto symbols = named.find("xkb_symbols \"(unnamed)\"");
    ASSERT_NE(symbols, std::string::npos);
    named.replace(symbols, 25, "xkb_symbols \"pc+de(nodeadkeys)+us:2+inet(evdev)\"");
    EXPECT_EQ(WaylandKeymapLayouts::layoutsOfKeymap(named), (std::vector<std::string>{"xkb:de(nodeadkeys)", "xkb:us"}));
    EXPECT_TRUE(WaylandKeymapLayouts::layoutsOfKeymap("not a keymap").empty());
}

// A fade blends each channel from the identity table to the solid colour.
TEST(WaylandGamma, RampsBlendFromTheIdentityToTheColour) {
    const auto identity = WaylandGamma::blendedRamp(256, 0.0, 0.0);
    EXPECT_EQ(identity.front(), 0);
    EXPECT_EQ(identity[128], 32896);
    EXPECT_EQ(identity.back(), 65535);
    for (std::uint16_t entry : WaylandGamma::blendedRamp(256, 1.0, 0.0)) ASSERT_EQ(entry, 0);
    for (std::uint16_t entry : WaylandGamma::blendedRamp(4, 1.5, 2.0)) ASSERT_EQ(entry, 65535);
    const auto halfway = WaylandGamma::blendedRamp(3, 0.5, 1.0);
    EXPECT_EQ(halfway, (std::vector<std::uint16_t>{32768, 49151, 65535}));
    EXPECT_EQ(WaylandGamma::blendedRamp(1, 0.0, 0.0), std::vector<std::uint16_t>{65535});
}

}  // namespace
