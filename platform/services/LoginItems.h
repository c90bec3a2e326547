#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// One entry of the user's login items: a desktop entry file in the autostart folder.
struct LoginItem {
    std::string entryPath;
};

// The user's session login items, kept as XDG autostart desktop entries in
// $XDG_CONFIG_HOME/autostart. An entry whose program lies inside an
// application bundle (<bundle>/Contents/MacOS/<exe>) stands for the bundle.
class LoginItems {
public:
    // The list of the current session; none when the autostart folder exists
    // but cannot be read.
    static std::optional<LoginItems> sessionLoginItems();
    static std::string autostartFolder();
    // The program that starts the application bundle at `bundlePath`.
    static std::string programOfBundle(const std::string& bundlePath);

    const std::string& folder() const { return folder_; }

    // Every entry in list order: file-name order, and the entries this class
    // writes carry a counter, so later insertions come later.
    std::vector<LoginItem> snapshot() const;

    // The bundle (or the program, outside a bundle) that the item starts;
    // none when the entry is hidden, has no program or the program is gone.
    static std::optional<std::string> resolve(const LoginItem& item);

    // Adds an entry that starts the application bundle at `bundlePath`, after
    // every entry this class wrote before; none when it cannot be written.
    std::optional<LoginItem> insertLast(const std::string& bundlePath);
    bool remove(const LoginItem& item);

private:
    explicit LoginItems(std::string folder) : folder_(std::move(folder)) {}

    int highestCounter() const;

    std::string folder_;
};

}  // namespace platform
