#include <gtest/gtest.h>

#include "platform/desktop/x11/HotKeyRule.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

using namespace platform::desktop::keys;

// Which combinations the hot-key centre refuses to grab: a hot key on a key
// used for typing would fire whenever anyone types it, in any application.
TEST(HotKeyRule, KeysUsedForTypingNeedControlOptionOrCommand) {
    struct Case {
        const char* what;
        KeySym keysym;
        std::int32_t modifiers;
        bool refused;
    };
    const Case cases[] = {
        {"a, what an absent stored combination reads as", XK_a, 0, true},
        {"Shift+A types a capital", XK_a, kCarbonShift, true},
        {"a digit", XK_1, 0, true},
        {"punctuation", XK_comma, 0, true},
        {"a letter of another script", XK_Cyrillic_a, 0, true},
        {"Space", XK_space, 0, true},
        {"Return", XK_Return, 0, true},
        {"Tab", XK_Tab, 0, true},
        {"BackSpace", XK_BackSpace, 0, true},
        {"Escape", XK_Escape, 0, true},
        {"keypad digit", XK_KP_1, 0, true},
        {"a dead key", XK_dead_acute, 0, true},
        {"Shift itself", XK_Shift_L, 0, true},
        {"Control+A", XK_a, kCarbonControl, false},
        {"Option+Return", XK_Return, kCarbonOption, false},
        {"Command+Shift+L", XK_l, kCarbonCmd | kCarbonShift, false},
        {"F1", XK_F1, 0, false},
        {"Shift+F5", XK_F5, kCarbonShift, false},
        {"Pause", XK_Pause, 0, false},
        {"the screen-saver (lock) key", XF86XK_ScreenSaver, 0, false},
    };
    for (const Case& c : cases) EXPECT_EQ(interferesWithTyping(c.keysym, c.modifiers), c.refused) << c.what;
}
