#pragma once

#include "platform/services/Service.h"
#include "platform/ui/Image.h"

#include <functional>
#include <string>

namespace platform {

// The desktop workspace: opening files and applications, and sleep and wake.
class Workspace : public Service<Workspace> {
public:
    virtual ~Workspace() = default;
    // Opens a file or bundle with its default application (a pane bundle with
    // the settings host); `application` names one explicitly.
    virtual bool openFile(const std::string& path, const std::string& application = {}) = 0;
    // How a launched application's process ended.
    struct ApplicationExit {
        int status = 0;  // the exit status when it exited by itself
        int signal = 0;  // the signal that ended it; 0 when it exited
    };
    using ExitObserver = std::function<void(const ApplicationExit&)>;
    // Starts the application bundle at `path`; false when it could not be
    // started. `exited`, when given, runs on the main thread once the
    // application's process has ended, however it ended.
    virtual bool launchApplication(const std::string& path, ExitObserver exited) = 0;

    // The icon that stands for the file at `path`: a bundle's own icon file,
    // a desktop entry's "Icon" (a file, or a name in the desktop's icon
    // theme), else the generic icon of an application. Never none.
    ImageRef iconForFile(const std::string& path) const;
    static constexpr const char* kGenericApplicationIcon = "application-x-executable";

    // Will-sleep and did-wake, delivered on the main thread.
    using Observer = std::function<void()>;
    virtual void observeSleep(const void* owner, Observer willSleep, Observer didWake) = 0;
    virtual void removeSleepObserver(const void* owner) = 0;
    // What will-sleep set going has finished (the lock holds): the machine
    // may go to sleep now. Until then, or until the login manager stops
    // waiting, sleep is held back.
    virtual void sleepMayProceed() {}
};

}  // namespace platform
