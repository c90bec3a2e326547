#pragma once

#include "platform/services/Processes.h"

#include <cstdint>
#include <string>
#include <vector>

struct wl_keyboard;
struct wl_surface;
struct wl_array;

namespace platform::desktop::wayland {

class WaylandGlobals;

// The keyboard layouts of a Wayland session are those of the keymap that
// the compositor sends every client's keyboard, not an X server's. They are
// named as on X11 ("xkb:us", "xkb:de(nodeadkeys)"), read from the keymap's
// symbols, so that a password's layout keeps its name across sessions. The
// layout in use is the group the compositor last reported. Clients cannot
// switch the layout on Wayland: selecting succeeds only for the layout in
// use.
class WaylandKeymapLayouts final : public InputSources {
public:
    // Follows the seat's keyboard while alive: there is none on a seat
    // without one, until a (virtual) keyboard comes.
    explicit WaylandKeymapLayouts(WaylandGlobals& globals);
    ~WaylandKeymapLayouts() override;
    WaylandKeymapLayouts(const WaylandKeymapLayouts&) = delete;
    WaylandKeymapLayouts& operator=(const WaylandKeymapLayouts&) = delete;

    std::string current() override;
    std::vector<std::string> enabledWithIdentifier(const std::string& identifier) override;
    int select(const std::string& identifier) override;

    const std::vector<std::string>& layouts() const { return layouts_; }
    // The text of the keymap the compositor sent last; empty before the
    // first one.
    const std::string& keymapText() const { return keymapText_; }

    // The identifiers of the layouts of a keymap in its text form, in group
    // order; none when the keymap cannot be read.
    static std::vector<std::string> layoutsOfKeymap(const std::string& keymapText);

    static constexpr int kNotFound = -50;

private:
    static void keymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size);
    static void enter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
    static void leave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
    static void key(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
    static void modifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                          std::uint32_t group);
    static void repeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

    void followKeyboard(std::uint32_t capabilities);

    WaylandGlobals& globals_;
    wl_keyboard* keyboard_ = nullptr;
    std::vector<std::string> layouts_;
    std::string keymapText_;
    std::uint32_t group_ = 0;
};

}  // namespace platform::desktop::wayland
