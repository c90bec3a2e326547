#include "platform/desktop/guard/Prompt.h"

#include "platform/desktop/x11/X11Keymaps.h"
#include "platform/desktop/xkb/LayoutKeymap.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <algorithm>
#include <cstring>
#include <sstream>
#include <vector>

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

// The rules, model, layouts and variants the server's keymap was made
// from (the _XKB_RULES_NAMES property of the root).
std::vector<std::string> serverRuleNames(Display* dpy) {
    const Atom property = XInternAtom(dpy, "_XKB_RULES_NAMES", True);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<std::string> names;
    if (property != None &&
        XGetWindowProperty(dpy, DefaultRootWindow(dpy), property, 0, 1024, False, XA_STRING, &type, &format, &count,
                           &after, &data) == Success &&
        data && format == 8) {
        const char* text = reinterpret_cast<const char*>(data);
        for (unsigned long at = 0; at < count; at += names.back().size() + 1) names.emplace_back(text + at);
    }
    if (data) XFree(data);
    names.resize(std::max<std::size_t>(names.size(), 4));
    return names;
}

// The n-th item of a comma-separated list.
std::string nth(const std::string& list, std::size_t n) {
    std::stringstream stream(list);
    std::string part;
    for (std::size_t i = 0; std::getline(stream, part, ','); ++i)
        if (i == n) return part;
    return {};
}

// The identifier of the server's layout in use, as the settings name it.
std::string currentLayout(Display* dpy, const std::vector<std::string>& names) {
    XkbStateRec state{};
    if (XkbGetState(dpy, XkbUseCoreKbd, &state) != Success) return {};
    const std::string layout = nth(names[2], state.locked_group), variant = nth(names[3], state.locked_group);
    if (layout.empty()) return {};
    return "xkb:" + layout + (variant.empty() ? "" : "(" + variant + ")");
}

bool isControl(const std::string& text) {
    return text.empty() || static_cast<unsigned char>(text[0]) < 0x20 || text[0] == 0x7F;
}

}  // namespace

void wipe(std::string& secret) {
    ::explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

Prompt::Prompt(Display* dpy) : dpy_(dpy), context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
    typed_.reserve(kTypedReserve);
    font_ = XLoadQueryFont(dpy_, "fixed");
    int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(dpy_, &opcode, &xkbEventBase_, &error, &major, &minor)) {
        const unsigned long events = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
        XkbSelectEvents(dpy_, XkbUseCoreKbd, events, events);
    } else {
        xkbEventBase_ = -1;
    }
    readKeymap();
}

Prompt::~Prompt() {
    wipe(typed_);
    if (gc_) XFreeGC(dpy_, gc_);
    if (font_) XFreeFont(dpy_, font_);
    xkb_context_unref(context_);
}

void Prompt::useLayout(const std::string& identifier) {
    const std::vector<std::string> names = serverRuleNames(dpy_);
    if (identifier == currentLayout(dpy_, names)) return;
    // A layout the system lacks is no error worth a line of its own.
    xkb_context_set_log_level(context_, XKB_LOG_LEVEL_CRITICAL);
    xkb_keymap* keymap = compileLayout(context_, identifier, names[0], names[1]);
    if (!keymap) {
        layoutNote_ = "The password was set with the keyboard layout " + identifier + ".";
        return;
    }
    decoder_.setKeymap(keymap);
    xkb_keymap_unref(keymap);
    ownLayout_ = true;
}

// The guard reads its events as they come and does nothing else between
// them, so the keymap read now is the one the change announced.
void Prompt::readKeymap() {
    if (ownLayout_) return;
    if (const KeymapRef keymap = fetchCoreKeymap(XGetXCBConnection(dpy_), context_)) decoder_.setKeymap(keymap.get());
}

bool Prompt::followKeymap(const XEvent& event) {
    if (xkbEventBase_ < 0 || event.type != xkbEventBase_) return false;
    const auto& any = reinterpret_cast<const XkbAnyEvent&>(event);
    if (any.xkb_type != XkbNewKeyboardNotify && any.xkb_type != XkbMapNotify) return false;
    readKeymap();
    return true;
}

Prompt::Outcome Prompt::type(const XKeyEvent& event) {
    decoder_.updateMaskFromCoreState(event.state);
    KeyDecoder::Key key = decoder_.press(static_cast<xkb_keycode_t>(event.keycode));
    switch (key.keysym) {
        case XKB_KEY_Return:
        case XKB_KEY_KP_Enter: wipe(key.text); return Outcome::Submitted;
        case XKB_KEY_Escape: clear(); return Outcome::Edited;
        case XKB_KEY_BackSpace:
            while (!typed_.empty() && isContinuationByte(typed_.back())) typed_.pop_back();
            if (!typed_.empty()) typed_.pop_back();
            return Outcome::Edited;
        default: break;
    }
    const bool control = isControl(key.text);
    if (!control) typed_ += key.text;
    wipe(key.text);
    return control ? Outcome::Ignored : Outcome::Edited;
}

void Prompt::clear() {
    wipe(typed_);
    decoder_.resetCompose();
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
    drawCentred(cover, centre, middle + 3 * kLineHeight, layoutNote_);
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
