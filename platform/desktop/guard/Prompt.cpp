#include "platform/desktop/guard/Prompt.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cstring>

namespace platform::desktop::guard {

namespace {

constexpr int kLineHeight = 24;
constexpr int kBulletSize = 10;
constexpr int kBulletPitch = 16;
constexpr std::size_t kTypedReserve = 256;

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t characterCount(const std::string& utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return !isContinuationByte(c); }));
}

std::string utf8FromLatin1(const char* text, int length) {
    std::string utf8;
    for (int i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            utf8 += static_cast<char>(byte);
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

}  // namespace

void wipe(std::string& secret) {
    ::explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

Prompt::Prompt(Display* dpy) : dpy_(dpy) {
    typed_.reserve(kTypedReserve);
    font_ = XLoadQueryFont(dpy_, "fixed");
    // Without an input method the keys are still read, without composition.
    inputMethod_ = XOpenIM(dpy_, nullptr, nullptr, nullptr);
    if (inputMethod_) {
        const ::Window root = DefaultRootWindow(dpy_);
        inputContext_ = XCreateIC(inputMethod_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow,
                                  root, XNFocusWindow, root, nullptr);
        if (inputContext_) XSetICFocus(inputContext_);
    }
}

Prompt::~Prompt() {
    wipe(typed_);
    if (inputContext_) XDestroyIC(inputContext_);
    if (inputMethod_) XCloseIM(inputMethod_);
    if (gc_) XFreeGC(dpy_, gc_);
    if (font_) XFreeFont(dpy_, font_);
}

Prompt::Outcome Prompt::type(XKeyEvent& event) {
    char text[64];
    KeySym keysym = NoSymbol;
    std::string typed;
    if (inputContext_) {
        Status status = XLookupNone;
        const int length = Xutf8LookupString(inputContext_, &event, text, sizeof text, &keysym, &status);
        if (status == XLookupChars || status == XLookupBoth) typed.assign(text, static_cast<std::size_t>(length));
    } else {
        const int length = XLookupString(&event, text, sizeof text, &keysym, nullptr);
        typed = utf8FromLatin1(text, length);
    }
    ::explicit_bzero(text, sizeof text);
    switch (keysym) {
        case XK_Return:
        case XK_KP_Enter: return Outcome::Submitted;
        case XK_Escape: wipe(typed_); return Outcome::Edited;
        case XK_BackSpace:
            while (!typed_.empty() && isContinuationByte(typed_.back())) typed_.pop_back();
            if (!typed_.empty()) typed_.pop_back();
            return Outcome::Edited;
        default: break;
    }
    const bool control = typed.empty() || static_cast<unsigned char>(typed[0]) < 0x20 || typed[0] == 0x7F;
    if (!control) typed_ += typed;
    wipe(typed);
    return control ? Outcome::Ignored : Outcome::Edited;
}

std::string Prompt::takePassword() {
    std::string password = typed_;
    wipe(typed_);
    return password;
}

void Prompt::draw(::Window cover, const Area& area) {
    if (!cover) return;
    if (!gc_) {
        gc_ = XCreateGC(dpy_, cover, 0, nullptr);
        XSetForeground(dpy_, gc_, WhitePixel(dpy_, DefaultScreen(dpy_)));
        if (font_) XSetFont(dpy_, gc_, font_->fid);
    }
    XClearWindow(dpy_, cover);
    const int centre = static_cast<int>(area.width / 2);
    const int middle = static_cast<int>(area.height / 2);
    drawCentred(cover, centre, middle - 3 * kLineHeight, "Tarnwick stopped while the screen was locked.");
    drawCentred(cover, centre, middle - 2 * kLineHeight, "Type its password and press Return to unlock.");
    drawBullets(cover, area, middle);
    drawCentred(cover, centre, middle + 2 * kLineHeight, status_);
    XFlush(dpy_);
}

void Prompt::drawCentred(::Window cover, int centre, int baseline, const std::string& text) {
    const int length = static_cast<int>(text.size());
    const int width = font_ ? XTextWidth(font_, text.data(), length) : 6 * length;
    XDrawString(dpy_, cover, gc_, centre - width / 2, baseline, text.data(), length);
}

void Prompt::drawBullets(::Window cover, const Area& area, int middle) {
    const std::size_t room = area.width > 4u * kBulletPitch ? area.width / kBulletPitch - 4 : 0;
    const int shown = static_cast<int>(std::min(characterCount(typed_), room));
    int x = static_cast<int>(area.width / 2) - shown * kBulletPitch / 2;
    for (int i = 0; i < shown; ++i, x += kBulletPitch)
        XFillArc(dpy_, cover, gc_, x, middle - kBulletSize / 2, kBulletSize, kBulletSize, 0, 360 * 64);
}

}  // namespace platform::desktop::guard
