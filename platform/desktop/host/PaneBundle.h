#pragma once

#include "platform/ui/PreferencePane.h"

#include <memory>
#include <string>
#include <variant>

namespace platform::desktop {

// A pane bundle whose plug-in is loaded and whose principal class was found.
// The plug-in stays loaded for the rest of the process.
class PaneBundle {
public:
    // Reads Contents/Info.plist ("CFBundleExecutable" names the plug-in in
    // Contents/MacOS, "NSPrincipalClass" its class) and loads the plug-in;
    // otherwise says what is wrong with the bundle. Needs no display and
    // creates nothing yet.
    static std::variant<PaneBundle, std::string> open(const std::string& path);

    // What the pane calls itself ("NSPrefPaneIconLabel", else "CFBundleName").
    const std::string& label() const { return label_; }
    // A new pane of the principal class, created with the bundle; none when
    // the class refuses. The platform's services must be installed.
    std::unique_ptr<PreferencePane> instantiate() const;

private:
    PaneBundle(std::string path, std::string label, PrincipalClassFactory factory)
        : path_(std::move(path)), label_(std::move(label)), factory_(factory) {}

    std::string path_;
    std::string label_;
    PrincipalClassFactory factory_;
};

}  // namespace platform::desktop
