#pragma once

#include "platform/foundation/Object.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// An input event as the lock screen sees it. Key events carry the macOS
// virtual key code; the desktop backend translates X11 keys into these codes.
class Event : public Object {
public:
    enum class Type {
        LeftMouseDown = 1,
        RightMouseDown = 3,
        MouseMoved = 5,
        MouseEntered = 8,
        MouseExited = 9,
        KeyDown = 10,
        KeyUp = 11,
        FlagsChanged = 12,
        ScrollWheel = 22,
        OtherMouseDown = 25
    };

    // Modifier flags as the platform's events carry them.
    enum Modifier : std::uint32_t { Shift = 1u << 17, Control = 1u << 18, Option = 1u << 19, Command = 1u << 20 };

    static std::shared_ptr<Event> keyDown(std::uint16_t keyCode, std::string characters, bool isARepeat = false,
                                          std::uint32_t modifiers = 0);
    static std::shared_ptr<Event> ofType(Type type);

    Type type() const { return type_; }
    std::uint16_t keyCode() const { return keyCode_; }
    const std::string& characters() const { return characters_; }
    bool isARepeat() const { return repeat_; }
    std::uint32_t modifierFlags() const { return modifiers_; }
    std::string description() const override;

    Event(Type type, std::uint16_t keyCode, std::string characters, bool repeat, std::uint32_t modifiers = 0)
        : type_(type), keyCode_(keyCode), characters_(std::move(characters)), repeat_(repeat), modifiers_(modifiers) {}

private:
    Type type_;
    std::uint16_t keyCode_;
    std::string characters_;
    bool repeat_;
    std::uint32_t modifiers_;
};

using EventRef = std::shared_ptr<Event>;

// macOS virtual key codes used by the lock screen.
namespace keycode {
constexpr std::uint16_t Return = 36;
constexpr std::uint16_t Tab = 48;
constexpr std::uint16_t Delete = 51;
constexpr std::uint16_t Escape = 53;
constexpr std::uint16_t KeypadEnter = 76;
}  // namespace keycode

}  // namespace platform
