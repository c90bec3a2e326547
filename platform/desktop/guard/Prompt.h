#pragma once

#include "platform/desktop/guard/Shield.h"

#include <X11/Xlib.h>
#include <string>

namespace platform::desktop::guard {

// The guard's password prompt: a few lines of text in the server's built-in
// font on the main monitor's cover, the typed characters shown as bullets.
// Keys are read with the current keyboard layout, composed characters
// included.
class Prompt {
public:
    enum class Outcome { Edited, Submitted, Ignored };

    explicit Prompt(Display* dpy);
    ~Prompt();
    Prompt(const Prompt&) = delete;
    Prompt& operator=(const Prompt&) = delete;

    // Return submits, Escape clears, BackSpace removes the last character.
    Outcome type(XKeyEvent& event);
    // The typed password; the prompt is empty afterwards.
    std::string takePassword();
    void say(const std::string& status) { status_ = status; }
    void draw(::Window cover, const Area& area);

private:
    void drawCentred(::Window cover, int centre, int baseline, const std::string& text);
    void drawBullets(::Window cover, const Area& area, int middle);

    Display* dpy_;
    XIM inputMethod_ = nullptr;
    XIC inputContext_ = nullptr;
    XFontStruct* font_ = nullptr;
    GC gc_ = nullptr;
    std::string typed_;
    std::string status_;
};

// Overwrites a string that held a password before it is let go.
void wipe(std::string& secret);

}  // namespace platform::desktop::guard
