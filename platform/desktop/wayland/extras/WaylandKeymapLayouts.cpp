#include "platform/desktop/wayland/extras/WaylandKeymapLayouts.h"

#include "platform/desktop/wayland/extras/ExtrasConnection.h"
#include "platform/foundation/LogSink.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>
#include <xkbcommon/xkbregistry.h>

#include <cstring>
#include <memory>
#include <optional>
#include <sys/mman.h>
#include <unistd.h>

namespace platform::desktop::wayland {

namespace {

// The quoted name of the keymap's symbols section: the rules' components
// joined by "+", such as "pc+us+de(nodeadkeys):2+inet(evdev)".
std::string symbolsName(const std::string& keymapText) {
    const auto section = keymapText.find("xkb_symbols");
    if (section == std::string::npos) return {};
    const auto open = keymapText.find('"', section);
    const auto close = open == std::string::npos ? open : keymapText.find('"', open + 1);
    const auto brace = keymapText.find('{', section);
    if (close == std::string::npos || brace < open) return {};
    const std::string name = keymapText.substr(open + 1, close - open - 1);
    return name == "(unnamed)" ? std::string() : name;
}

std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

// The layouts of the components: the second one is the first group's; a
// later one is a layout when it names its group (":2"), an option otherwise.
std::vector<std::string> layoutsOfSymbols(const std::string& name) {
    const std::vector<std::string> components = splitAt(name, '+');
    std::vector<std::string> layouts;
    if (components.size() < 2) return layouts;
    layouts.push_back("xkb:" + components[1]);
    for (std::size_t i = 2; i < components.size(); ++i) {
        const auto colon = components[i].rfind(':');
        if (colon == std::string::npos) continue;
        layouts.push_back("xkb:" + components[i].substr(0, colon));
    }
    return layouts;
}

// The layout and variant that the XKB registry describes as `description`
// ("German (no dead keys)" is "de(nodeadkeys)"); none when it knows none.
std::optional<std::string> layoutOfDescription(rxkb_context* registry, const std::string& description) {
    if (!registry) return std::nullopt;
    for (rxkb_layout* layout = rxkb_layout_first(registry); layout; layout = rxkb_layout_next(layout)) {
        const char* text = rxkb_layout_get_description(layout);
        if (!text || description != text) continue;
        const char* variant = rxkb_layout_get_variant(layout);
        const std::string name = rxkb_layout_get_name(layout);
        return variant && *variant ? name + "(" + variant + ")" : name;
    }
    return std::nullopt;
}

// Keymaps that xkbcommon compiled from rules names keep no components, only
// each group's description: the registry turns it back into the layout.
std::vector<std::string> layoutNamesOfKeymap(const std::string& keymapText) {
    std::vector<std::string> layouts;
    const std::unique_ptr<xkb_context, void (*)(xkb_context*)> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS),
                                                                       xkb_context_unref);
    if (!context) return layouts;
    const std::unique_ptr<xkb_keymap, void (*)(xkb_keymap*)> keymap(
        xkb_keymap_new_from_string(context.get(), keymapText.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                   XKB_KEYMAP_COMPILE_NO_FLAGS),
        xkb_keymap_unref);
    if (!keymap) return layouts;
    const std::unique_ptr<rxkb_context, rxkb_context* (*)(rxkb_context*)> registry(
        rxkb_context_new(RXKB_CONTEXT_NO_FLAGS), rxkb_context_unref);
    const bool parsed = registry && rxkb_context_parse_default_ruleset(registry.get());
    for (xkb_layout_index_t i = 0; i < xkb_keymap_num_layouts(keymap.get()); ++i) {
        const char* name = xkb_keymap_layout_get_name(keymap.get(), i);
        const std::string description = name ? name : std::to_string(i + 1);
        layouts.push_back("xkb:" +
                          layoutOfDescription(parsed ? registry.get() : nullptr, description).value_or(description));
    }
    return layouts;
}

}  // namespace

std::vector<std::string> WaylandKeymapLayouts::layoutsOfKeymap(const std::string& keymapText) {
    std::vector<std::string> layouts = layoutsOfSymbols(symbolsName(keymapText));
    return layouts.empty() ? layoutNamesOfKeymap(keymapText) : layouts;
}

WaylandKeymapLayouts::WaylandKeymapLayouts(WaylandGlobals& globals) : globals_(globals) {
    globals_.addSeatObserver(this, [this](std::uint32_t capabilities) { followKeyboard(capabilities); });
}

WaylandKeymapLayouts::~WaylandKeymapLayouts() {
    globals_.removeSeatObserver(this);
    followKeyboard(0);
}

void WaylandKeymapLayouts::followKeyboard(std::uint32_t capabilities) {
    static const wl_keyboard_listener listener = {&WaylandKeymapLayouts::keymap,    &WaylandKeymapLayouts::enter,
                                                  &WaylandKeymapLayouts::leave,     &WaylandKeymapLayouts::key,
                                                  &WaylandKeymapLayouts::modifiers, &WaylandKeymapLayouts::repeatInfo};
    const bool hasKeyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && globals_.seat();
    if (hasKeyboard && !keyboard_) {
        keyboard_ = wl_seat_get_keyboard(globals_.seat());
        wl_keyboard_add_listener(keyboard_, &listener, this);
    } else if (!hasKeyboard && keyboard_) {
        if (wl_keyboard_get_version(keyboard_) >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
            wl_keyboard_release(keyboard_);
        else
            wl_keyboard_destroy(keyboard_);
        keyboard_ = nullptr;
    }
}

void WaylandKeymapLayouts::keymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
    auto& self = *static_cast<WaylandKeymapLayouts*>(data);
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0) {
        close(fd);
        return;
    }
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (mapped == MAP_FAILED) {
        LogSink::write("Tarnwick: the compositor's keymap cannot be read; the keyboard layouts stay unknown");
        return;
    }
    // The text ends in a terminating zero within `size`.
    self.keymapText_.assign(static_cast<const char*>(mapped), strnlen(static_cast<const char*>(mapped), size));
    munmap(mapped, size);
    self.layouts_ = layoutsOfKeymap(self.keymapText_);
    self.group_ = 0;
}

void WaylandKeymapLayouts::modifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t,
                                     std::uint32_t, std::uint32_t group) {
    static_cast<WaylandKeymapLayouts*>(data)->group_ = group;
}

std::string WaylandKeymapLayouts::current() {
    if (layouts_.empty()) return {};
    return group_ < layouts_.size() ? layouts_[group_] : layouts_.front();
}

std::vector<std::string> WaylandKeymapLayouts::enabledWithIdentifier(const std::string& identifier) {
    std::vector<std::string> found;
    for (const std::string& layout : layouts_)
        if (layout == identifier) found.push_back(layout);
    return found;
}

int WaylandKeymapLayouts::select(const std::string& identifier) {
    return !identifier.empty() && identifier == current() ? 0 : kNotFound;
}

}  // namespace platform::desktop::wayland
