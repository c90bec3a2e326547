#include "platform/desktop/xkb/KeyTranslation.h"

#include "platform/ui/Event.h"

#include <X11/keysym.h>
#include <array>
#include <xkbcommon/xkbcommon.h>

namespace platform::desktop::keys {

namespace {

struct Entry {
    std::uint16_t mac;
    KeySym keysym;
};

// Positions of the ANSI keyboard, named by the symbol the US layout puts on
// them. The first entry of a code is the one used towards X.
constexpr std::array kTable = {
    Entry{0, XK_a},
    Entry{1, XK_s},
    Entry{2, XK_d},
    Entry{3, XK_f},
    Entry{4, XK_h},
    Entry{5, XK_g},
    Entry{6, XK_z},
    Entry{7, XK_x},
    Entry{8, XK_c},
    Entry{9, XK_v},
    Entry{10, XK_section},
    Entry{11, XK_b},
    Entry{12, XK_q},
    Entry{13, XK_w},
    Entry{14, XK_e},
    Entry{15, XK_r},
    Entry{16, XK_y},
    Entry{17, XK_t},
    Entry{18, XK_1},
    Entry{19, XK_2},
    Entry{20, XK_3},
    Entry{21, XK_4},
    Entry{22, XK_6},
    Entry{23, XK_5},
    Entry{24, XK_equal},
    Entry{25, XK_9},
    Entry{26, XK_7},
    Entry{27, XK_minus},
    Entry{28, XK_8},
    Entry{29, XK_0},
    Entry{30, XK_bracketright},
    Entry{31, XK_o},
    Entry{32, XK_u},
    Entry{33, XK_bracketleft},
    Entry{34, XK_i},
    Entry{35, XK_p},
    Entry{36, XK_Return},
    Entry{37, XK_l},
    Entry{38, XK_j},
    Entry{39, XK_apostrophe},
    Entry{40, XK_k},
    Entry{41, XK_semicolon},
    Entry{42, XK_backslash},
    Entry{43, XK_comma},
    Entry{44, XK_slash},
    Entry{45, XK_n},
    Entry{46, XK_m},
    Entry{47, XK_period},
    Entry{48, XK_Tab},
    Entry{48, XK_ISO_Left_Tab},
    Entry{49, XK_space},
    Entry{50, XK_grave},
    Entry{51, XK_BackSpace},
    Entry{53, XK_Escape},
    Entry{54, XK_Super_R},
    Entry{55, XK_Super_L},
    Entry{56, XK_Shift_L},
    Entry{57, XK_Caps_Lock},
    Entry{58, XK_Alt_L},
    Entry{59, XK_Control_L},
    Entry{60, XK_Shift_R},
    Entry{61, XK_Alt_R},
    Entry{61, XK_ISO_Level3_Shift},
    Entry{62, XK_Control_R},
    Entry{64, XK_F17},
    Entry{65, XK_KP_Decimal},
    Entry{65, XK_KP_Delete},
    Entry{65, XK_KP_Separator},
    Entry{67, XK_KP_Multiply},
    Entry{69, XK_KP_Add},
    Entry{71, XK_Num_Lock},
    Entry{71, XK_Clear},
    Entry{75, XK_KP_Divide},
    Entry{76, XK_KP_Enter},
    Entry{78, XK_KP_Subtract},
    Entry{79, XK_F18},
    Entry{80, XK_F19},
    Entry{81, XK_KP_Equal},
    Entry{82, XK_KP_0},
    Entry{82, XK_KP_Insert},
    Entry{83, XK_KP_1},
    Entry{83, XK_KP_End},
    Entry{84, XK_KP_2},
    Entry{84, XK_KP_Down},
    Entry{85, XK_KP_3},
    Entry{85, XK_KP_Next},
    Entry{86, XK_KP_4},
    Entry{86, XK_KP_Left},
    Entry{87, XK_KP_5},
    Entry{87, XK_KP_Begin},
    Entry{88, XK_KP_6},
    Entry{88, XK_KP_Right},
    Entry{89, XK_KP_7},
    Entry{89, XK_KP_Home},
    Entry{90, XK_F20},
    Entry{91, XK_KP_8},
    Entry{91, XK_KP_Up},
    Entry{92, XK_KP_9},
    Entry{92, XK_KP_Prior},
    Entry{96, XK_F5},
    Entry{97, XK_F6},
    Entry{98, XK_F7},
    Entry{99, XK_F3},
    Entry{100, XK_F8},
    Entry{101, XK_F9},
    Entry{103, XK_F11},
    Entry{105, XK_F13},
    Entry{105, XK_Print},
    Entry{106, XK_F16},
    Entry{107, XK_F14},
    Entry{107, XK_Scroll_Lock},
    Entry{109, XK_F10},
    Entry{110, XK_Menu},
    Entry{111, XK_F12},
    Entry{113, XK_F15},
    Entry{113, XK_Pause},
    Entry{114, XK_Insert},
    Entry{114, XK_Help},
    Entry{115, XK_Home},
    Entry{116, XK_Prior},
    Entry{117, XK_Delete},
    Entry{118, XK_F4},
    Entry{119, XK_End},
    Entry{120, XK_F2},
    Entry{121, XK_Next},
    Entry{122, XK_F1},
    Entry{123, XK_Left},
    Entry{124, XK_Right},
    Entry{125, XK_Down},
    Entry{126, XK_Up},
};

KeySym lowerCaseLatin(KeySym keysym) {
    if (keysym >= XK_A && keysym <= XK_Z) return keysym - XK_A + XK_a;
    return keysym;
}

}  // namespace

std::optional<std::uint16_t> macKeyCode(KeySym keysym) {
    const KeySym wanted = lowerCaseLatin(keysym);
    for (const Entry& entry : kTable)
        if (entry.keysym == wanted) return entry.mac;
    return std::nullopt;
}

std::optional<KeySym> keysymForMacKeyCode(std::uint16_t macKeyCode) {
    for (const Entry& entry : kTable)
        if (entry.mac == macKeyCode) return entry.keysym;
    return std::nullopt;
}

std::string charactersForKeysym(KeySym keysym) {
    char buffer[8] = {};
    const int written = xkb_keysym_to_utf8(static_cast<xkb_keysym_t>(keysym), buffer, sizeof buffer);
    if (written <= 1) return {};
    // Return, Tab, Backspace and Escape deliver their control character, as
    // the platform's key events do.
    return std::string(buffer);
}

unsigned xModifiersForCarbon(std::int32_t carbonFlags, const ModifierMasks& masks) {
    unsigned mask = 0;
    if (carbonFlags & kCarbonCmd) mask |= masks.super;
    if (carbonFlags & kCarbonShift) mask |= masks.shift;
    if (carbonFlags & kCarbonOption) mask |= masks.alt;
    if (carbonFlags & kCarbonControl) mask |= masks.control;
    return mask;
}

std::int32_t carbonForXModifiers(unsigned state, const ModifierMasks& masks) {
    std::int32_t flags = 0;
    if (state & masks.super) flags |= kCarbonCmd;
    if (state & masks.shift) flags |= kCarbonShift;
    if (state & masks.alt) flags |= kCarbonOption;
    if (state & masks.control) flags |= kCarbonControl;
    return flags;
}

std::uint32_t eventModifiersForXState(unsigned state, const ModifierMasks& masks) {
    std::uint32_t flags = 0;
    if (state & masks.shift) flags |= Event::Shift;
    if (state & masks.control) flags |= Event::Control;
    if (state & masks.alt) flags |= Event::Option;
    if (state & masks.super) flags |= Event::Command;
    return flags;
}

}  // namespace platform::desktop::keys
