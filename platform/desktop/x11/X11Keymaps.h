#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

namespace platform::desktop {

using KeymapRef = std::shared_ptr<xkb_keymap>;

// The keymap of the core keyboard as the server holds it now, through
// xkbcommon-x11 on `connection` (an Xlib display's own, or one of xcb's);
// none when the server has no XKB.
KeymapRef fetchCoreKeymap(xcb_connection_t* connection, xkb_context* context);
// Asks for XkbNewKeyboardNotify and XkbMapNotify on `connection`; answers
// the XKB event base, or -1 without XKB.
int selectKeymapNotifications(xcb_connection_t* connection);

// Where a keymap change sits in the server's stream of them: its server
// time, and how many changes came before it within the same millisecond.
// Every client that asked for the same notifications sees the same stamps.
struct KeymapStamp {
    std::uint32_t time = 0;
    std::uint32_t ordinal = 0;
    bool initial = true;  // the keymap before any change was seen

    // Later changes compare greater; server time wraps after 49 days.
    bool notAfter(const KeymapStamp& other) const;
    // The stamp of the next change, at `eventTime`.
    KeymapStamp next(std::uint32_t eventTime) const;
};

// Reads the keymap on a connection of its own, on a thread that does
// nothing else, the moment the server announces a change. A program that
// maps a letter onto a spare key code, presses it and maps it back (xdotool,
// VNC servers) leaves the letter in the keymap only for a few milliseconds;
// a client that fetched the keymap when it came round to the key would find
// it gone. The keys are then decoded with the keymap of the last change
// announced before them, on whatever connection they came.
class X11KeymapWatch {
public:
    // Runs on the watch's thread after each keymap it read.
    using Changed = std::function<void()>;
    // None when the display cannot be reached or has no XKB.
    static std::unique_ptr<X11KeymapWatch> start(const std::string& displayName, Changed changed);
    ~X11KeymapWatch();
    X11KeymapWatch(const X11KeymapWatch&) = delete;
    X11KeymapWatch& operator=(const X11KeymapWatch&) = delete;

    // The keymap in force after the change at `stamp`; false while the
    // watch has not read that far. The keymap may be none when it could
    // not be read.
    bool keymapAt(const KeymapStamp& stamp, KeymapRef& keymap) const;
    // Lets go of the keymaps that no key to come can need: those replaced
    // by the last change at or before `stamp`.
    void forgetBefore(const KeymapStamp& stamp);

private:
    struct Entry {
        KeymapStamp stamp;
        KeymapRef keymap;
    };
    X11KeymapWatch(xcb_connection_t* connection, int eventBase, Changed changed);
    void run();
    void readEvents();
    void record(std::uint32_t time);

    xcb_connection_t* connection_;
    int eventBase_;
    Changed changed_;
    xkb_context* context_;
    int stopFd_ = -1;
    mutable std::mutex lock_;
    std::vector<Entry> history_;  // oldest first, at most 128 of about 130 KiB each
    std::thread thread_;
};

}  // namespace platform::desktop
