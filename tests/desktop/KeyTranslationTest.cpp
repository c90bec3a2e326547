#include <gtest/gtest.h>

#include "platform/desktop/xkb/KeyTranslation.h"
#include "platform/ui/Event.h"

#include <X11/X.h>
#include <X11/keysym.h>
#include <algorithm>
#include <utility>
#include <vector>

using namespace platform::desktop::keys;

namespace {

// The keys the lock screen gives a meaning to, with the X symbol of the key.
const std::vector<std::pair<std::uint16_t, KeySym>> kLockScreenKeys = {
    {36, XK_Return},  {76, XK_KP_Enter}, {51, XK_BackSpace}, {53, XK_Escape}, {48, XK_Tab},   {71, XK_Num_Lock},
    {123, XK_Left},   {124, XK_Right},   {125, XK_Down},     {126, XK_Up},    {115, XK_Home}, {116, XK_Prior},
    {117, XK_Delete}, {119, XK_End},     {121, XK_Next},     {122, XK_F1},    {120, XK_F2},   {99, XK_F3},
    {118, XK_F4},     {96, XK_F5},       {97, XK_F6},        {98, XK_F7},     {100, XK_F8},   {101, XK_F9},
    {109, XK_F10},    {103, XK_F11},     {111, XK_F12},      {105, XK_F13},   {107, XK_F14},  {113, XK_F15},
    {106, XK_F16},    {64, XK_F17},      {79, XK_F18},       {80, XK_F19},    {90, XK_F20},
};

}  // namespace

TEST(KeyTranslation, EveryLockScreenKeyMapsBothWays) {
    for (const auto& [mac, keysym] : kLockScreenKeys) {
        EXPECT_EQ(macKeyCode(keysym), mac) << "keysym 0x" << std::hex << keysym;
        EXPECT_EQ(keysymForMacKeyCode(mac), keysym) << "mac key code " << mac;
    }
    EXPECT_EQ(macKeyCode(XK_Return), platform::keycode::Return);
    EXPECT_EQ(macKeyCode(XK_KP_Enter), platform::keycode::KeypadEnter);
    EXPECT_EQ(macKeyCode(XK_BackSpace), platform::keycode::Delete);
    EXPECT_EQ(macKeyCode(XK_Escape), platform::keycode::Escape);
    EXPECT_EQ(macKeyCode(XK_Tab), platform::keycode::Tab);
}

TEST(KeyTranslation, AlternativeSymbolsOfTheSameKey) {
    EXPECT_EQ(macKeyCode(XK_ISO_Left_Tab), 48);
    EXPECT_EQ(macKeyCode(XK_Clear), 71);
    // Keypad keys without Num Lock name the keypad position, not the
    // navigation key they share a symbol family with.
    EXPECT_EQ(macKeyCode(XK_KP_End), 83);
    EXPECT_EQ(macKeyCode(XK_KP_1), 83);
    EXPECT_EQ(macKeyCode(XK_KP_Home), 89);
    EXPECT_EQ(macKeyCode(XK_KP_Delete), 65);
    EXPECT_NE(macKeyCode(XK_KP_End), macKeyCode(XK_End));
}

TEST(KeyTranslation, LettersAndDigitsFollowTheAnsiPositions) {
    EXPECT_EQ(macKeyCode(XK_a), 0);
    EXPECT_EQ(macKeyCode(XK_A), 0);
    EXPECT_EQ(macKeyCode(XK_z), 6);
    EXPECT_EQ(macKeyCode(XK_q), 12);
    EXPECT_EQ(macKeyCode(XK_y), 16);
    EXPECT_EQ(macKeyCode(XK_1), 18);
    EXPECT_EQ(macKeyCode(XK_0), 29);
    EXPECT_EQ(macKeyCode(XK_space), 49);
    EXPECT_EQ(keysymForMacKeyCode(37), KeySym(XK_l));
    // Every ANSI letter has a distinct code.
    std::vector<std::uint16_t> codes;
    for (KeySym letter = XK_a; letter <= XK_z; ++letter) {
        const auto code = macKeyCode(letter);
        ASSERT_TRUE(code.has_value()) << char(letter);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), *code), 0) << char(letter);
        codes.push_back(*code);
        EXPECT_EQ(keysymForMacKeyCode(*code), letter);
    }
}

TEST(KeyTranslation, UnknownKeysHaveNoCode) {
    EXPECT_FALSE(macKeyCode(XK_udiaeresis).has_value());
    EXPECT_FALSE(macKeyCode(0x12345678).has_value());
    EXPECT_FALSE(keysymForMacKeyCode(52).has_value());
    EXPECT_FALSE(keysymForMacKeyCode(200).has_value());
}

TEST(KeyTranslation, CharactersOfKeySymbols) {
    EXPECT_EQ(charactersForKeysym(XK_a), "a");
    EXPECT_EQ(charactersForKeysym(XK_A), "A");
    EXPECT_EQ(charactersForKeysym(XK_udiaeresis), "\xC3\xBC");
    EXPECT_EQ(charactersForKeysym(XK_EuroSign), "\xE2\x82\xAC");
    EXPECT_EQ(charactersForKeysym(XK_KP_1), "1");
    EXPECT_EQ(charactersForKeysym(XK_Return), "\r");
    EXPECT_EQ(charactersForKeysym(XK_Left), "");
    EXPECT_EQ(charactersForKeysym(XK_F1), "");
    EXPECT_EQ(charactersForKeysym(XK_Shift_L), "");
}

TEST(KeyTranslation, CarbonModifiersBecomeTheKeyboardsMasks) {
    ModifierMasks masks;
    masks.numLock = Mod2Mask;
    masks.super = Mod4Mask;
    masks.alt = Mod1Mask;
    EXPECT_EQ(xModifiersForCarbon(kCarbonCmd, masks), unsigned(Mod4Mask));
    EXPECT_EQ(xModifiersForCarbon(kCarbonShift, masks), unsigned(ShiftMask));
    EXPECT_EQ(xModifiersForCarbon(kCarbonOption, masks), unsigned(Mod1Mask));
    EXPECT_EQ(xModifiersForCarbon(kCarbonControl, masks), unsigned(ControlMask));
    EXPECT_EQ(xModifiersForCarbon(kCarbonCmd | kCarbonOption | kCarbonControl | kCarbonShift, masks),
              unsigned(Mod4Mask | Mod1Mask | ControlMask | ShiftMask));
    EXPECT_EQ(xModifiersForCarbon(0, masks), 0u);
    // Round trip, with Caps Lock and Num Lock left out of a combination.
    for (std::int32_t flags : {0, kCarbonCmd, kCarbonCmd | kCarbonShift, kCarbonOption | kCarbonControl}) {
        EXPECT_EQ(carbonForXModifiers(xModifiersForCarbon(flags, masks), masks), flags);
        EXPECT_EQ(carbonForXModifiers(xModifiersForCarbon(flags, masks) | LockMask | Mod2Mask, masks), flags);
    }
}

TEST(KeyTranslation, EventModifiersFromXState) {
    ModifierMasks masks;
    EXPECT_EQ(eventModifiersForXState(ShiftMask, masks), std::uint32_t(platform::Event::Shift));
    EXPECT_EQ(eventModifiersForXState(ControlMask | Mod1Mask, masks),
              std::uint32_t(platform::Event::Control | platform::Event::Option));
    EXPECT_EQ(eventModifiersForXState(Mod4Mask | LockMask, masks), std::uint32_t(platform::Event::Command));
}
