#pragma once

#include "platform/desktop/guard/Shield.h"
#include "platform/desktop/xkb/KeyDecoder.h"

#include <X11/Xlib.h>
#include <string>

namespace platform::desktop::guard {

// The guard's password prompt: a few lines of text in the server's built-in
// font on the main monitor's cover, the typed characters shown as bullets.
// Keys are read as the lock screen reads them: through the server's keymap
// and the locale's compose table, dead keys and compose sequences included,
// each key with the keymap of the last change announced before it.
class Prompt {
public:
    enum class Outcome { Edited, Submitted, Ignored };

    explicit Prompt(Display* dpy);
    ~Prompt();
    Prompt(const Prompt&) = delete;
    Prompt& operator=(const Prompt&) = delete;

    // Reads keys with the layout the password was set with ("xkb:de"),
    // where the system has it and it is not the one at hand already;
    // otherwise goes on with the one at hand and says which it was.
    void useLayout(const std::string& identifier);
    // Takes the new keymap when `event` announces one; true when it did.
    bool followKeymap(const XEvent& event);
    // Return submits, Escape clears, BackSpace removes the last character.
    Outcome type(const XKeyEvent& event);
    // The typed password; the prompt is empty afterwards.
    std::string takePassword();
    // Forgets what was typed, an unfinished compose sequence included.
    void clear();
    void say(const std::string& status) { status_ = status; }
    void draw(::Window cover, const Area& area);

private:
    void drawCentred(::Window cover, int centre, int baseline, const std::string& text);
    void drawBullets(::Window cover, const Area& area, int middle);

    void readKeymap();

    Display* dpy_;
    int xkbEventBase_ = -1;
    xkb_context* context_;
    KeyDecoder decoder_;
    XFontStruct* font_ = nullptr;
    GC gc_ = nullptr;
    std::string typed_;
    std::string status_;
    std::string layoutNote_;
    // Keys are read with the password's own layout, whatever the server's.
    bool ownLayout_ = false;
};

// Overwrites a string that held a password before it is let go.
void wipe(std::string& secret);

}  // namespace platform::desktop::guard
