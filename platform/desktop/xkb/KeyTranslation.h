#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::desktop {

// The lock screen and the hot keys speak macOS virtual key codes; X11 speaks
// key symbols. The table between them is keyed by the symbol a key produces
// in its unshifted state of the first group (the US layout's view of the
// keyboard), so a key code names the same key in both directions.
namespace keys {

using KeySym = unsigned long;

// The macOS virtual key code of the key whose unshifted symbol is `keysym`;
// none for keys the table does not know. Letters are found in either case.
std::optional<std::uint16_t> macKeyCode(KeySym keysym);
// The unshifted key symbol for a macOS virtual key code; none when unknown.
std::optional<KeySym> keysymForMacKeyCode(std::uint16_t macKeyCode);

// The text a key symbol types, UTF-8 encoded; empty for keys that type
// nothing (arrows, function keys, modifiers).
std::string charactersForKeysym(KeySym keysym);

// X modifier masks for the modifier bits of an X event state.
struct ModifierMasks {
    unsigned shift = 1u << 0;    // ShiftMask
    unsigned lock = 1u << 1;     // LockMask
    unsigned control = 1u << 2;  // ControlMask
    unsigned alt = 1u << 3;      // Mod1Mask
    unsigned numLock = 1u << 4;  // Mod2Mask on most keyboards
    unsigned super = 1u << 6;    // Mod4Mask
};

// Carbon modifier flags as hot-key combinations store them.
inline constexpr std::int32_t kCarbonCmd = 0x100;
inline constexpr std::int32_t kCarbonShift = 0x200;
inline constexpr std::int32_t kCarbonOption = 0x800;
inline constexpr std::int32_t kCarbonControl = 0x1000;

// Carbon flags → X modifier mask (Command is the Super key, Option is Alt).
unsigned xModifiersForCarbon(std::int32_t carbonFlags, const ModifierMasks& masks);
// X event state → Carbon flags (Caps Lock and Num Lock are not part of a combination).
std::int32_t carbonForXModifiers(unsigned state, const ModifierMasks& masks);
// X event state → the modifier flags of a platform event.
std::uint32_t eventModifiersForXState(unsigned state, const ModifierMasks& masks);

}  // namespace keys

}  // namespace platform::desktop
