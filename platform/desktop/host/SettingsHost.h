#pragma once

#include "platform/ui/PreferencePane.h"

#include <memory>
#include <string>

namespace platform::desktop {

// The settings host's platform: the Qt application and the services a pane
// uses (run loop, alerts, open panels, keyboard input sources, workspace,
// the session-bus channel), with windows drawn as QtPaneWindowPeer draws
// them. Unlike the application's backend it holds no grabs, starts no lock
// guard and fades nothing. One per process.
class SettingsHost {
public:
    // Throws std::runtime_error when there is no X display to show the pane on.
    SettingsHost(int& argc, char** argv);
    ~SettingsHost();
    SettingsHost(const SettingsHost&) = delete;
    SettingsHost& operator=(const SettingsHost&) = delete;

    // Shows the pane's main view in a window titled `title`; closing that
    // window ends the host. The host brings the window to the front when the
    // pane activates the application. The pane lives as long as the host,
    // its window goes first.
    void show(std::unique_ptr<PreferencePane> pane, const std::string& title);
    int exec();

private:
    struct Services;
    std::unique_ptr<Services> services_;
};

}  // namespace platform::desktop
