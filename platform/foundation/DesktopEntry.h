#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A desktop entry file (".desktop"): the keys of its "Desktop Entry" group,
// with the string escapes (\s \n \t \r \\) undone. Localised keys
// ("Name[de]") are kept under their full name.
class DesktopEntry {
public:
    static constexpr const char* kExtension = "desktop";

    // None when the file cannot be read or has no "Desktop Entry" group.
    static std::optional<DesktopEntry> read(const std::string& path);
    static DesktopEntry parse(const std::string& text);

    std::optional<std::string> value(const std::string& key) const;
    bool hasGroup() const { return hasGroup_; }

    // The words of an Exec value: quoted arguments joined, their escapes
    // undone, field codes (%f, %U …) dropped and "%%" made "%".
    static std::vector<std::string> execArguments(const std::string& exec);

private:
    bool hasGroup_ = false;
    std::map<std::string, std::string> values_;
};

}  // namespace platform
