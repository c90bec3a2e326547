#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QTimer>

#include "platform/services/Workspace.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace platform::desktop {

// Opening files and bundles, and sleep and wake from logind. While anyone
// observes sleep, the workspace holds a "sleep" delay inhibitor; when logind
// announces sleep the observers run (the lock window goes up), and only once
// the screen is drawn is the inhibitor let go so the machine may sleep. It is
// taken again after wake. Without a system bus there are no sleep
// notifications, which is said once in the log. The inhibitor is let go
// once the observers say the machine may sleep (the lock holds), or when the
// login manager's delay has run out and it sleeps anyway.
class DesktopWorkspace final : public QObject, public Workspace {
    Q_OBJECT
public:
    DesktopWorkspace();
    ~DesktopWorkspace() override;

    bool openFile(const std::string& path, const std::string& application = {}) override;
    bool launchApplication(const std::string& path, ExitObserver exited) override;
    void observeSleep(const void* owner, Observer willSleep, Observer didWake) override;
    void removeSleepObserver(const void* owner) override;
    void sleepMayProceed() override;

    // The program that shows a preference pane bundle.
    static std::string settingsHost();

public Q_SLOTS:
    void onPrepareForSleep(bool start);

private:
    void watchLogind();
    void takeInhibitor();
    void releaseInhibitorWhenDrawn();

    // Exits of launched applications are told from the reaper's thread, on
    // the run loop of their launch, only while the workspace lives.
    struct Liveness {
        std::mutex lock;
        bool alive = true;
    };
    std::shared_ptr<Liveness> liveness_ = std::make_shared<Liveness>();
    std::map<const void*, std::pair<Observer, Observer>> observers_;
    bool watching_ = false;
    QDBusUnixFileDescriptor inhibitor_;
    bool sleepPending_ = false;
    QTimer* sleepDelay_ = nullptr;
};

}  // namespace platform::desktop
