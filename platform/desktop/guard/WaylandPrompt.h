#pragma once

#include "platform/desktop/wayland/LockClient.h"

#include <memory>
#include <string>

namespace platform::desktop::guard {

// The guard's password prompt on Wayland, drawn into the lock surfaces
// without a toolkit: a few centred lines of text (FreeType, with the
// system's sans-serif font; without one the bullets still show) and a bullet
// per typed character on the main output, black everywhere else.
class WaylandPrompt {
public:
    enum class Outcome { Edited, Submitted, Ignored };

    WaylandPrompt();
    ~WaylandPrompt();
    WaylandPrompt(const WaylandPrompt&) = delete;
    WaylandPrompt& operator=(const WaylandPrompt&) = delete;

    // Return submits, Escape clears, BackSpace removes the last character.
    Outcome type(const wayland::TypedKey& press);
    // The typed password; the prompt is empty afterwards.
    std::string takePassword();
    void say(const std::string& status) { status_ = status; }
    std::size_t typedCharacters() const;
    void draw(wayland::Canvas& canvas) const;

private:
    struct Font;
    std::unique_ptr<Font> font_;
    std::string typed_;
    std::string status_;
};

}  // namespace platform::desktop::guard
