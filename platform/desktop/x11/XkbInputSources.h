#pragma once

#include "platform/desktop/x11/X11Session.h"
#include "platform/services/Processes.h"

#include <string>
#include <vector>

namespace platform::desktop {

// Keyboard input sources are the XKB groups of the keyboard, named
// "xkb:<layout>" or "xkb:<layout>(<variant>)" from the rules names the
// server keeps on the root window; selecting one locks its group.
class XkbInputSources final : public InputSources {
public:
    explicit XkbInputSources(X11Session& session) : session_(session) {}

    std::string current() override;
    std::vector<std::string> enabledWithIdentifier(const std::string& identifier) override;
    int select(const std::string& identifier) override;

    // The identifiers of the groups, in group order.
    std::vector<std::string> groups();
    // Builds the identifiers from the comma-separated layout and variant lists.
    static std::vector<std::string> identifiersFor(const std::string& layouts, const std::string& variants);

    static constexpr int kNotFound = -50;

private:
    X11Session& session_;
};

}  // namespace platform::desktop
