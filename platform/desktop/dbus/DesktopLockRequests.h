#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>

#include "platform/desktop/dbus/LogindSessionLock.h"
#include "platform/services/LockRequests.h"
#include "platform/services/ScreenSaverSession.h"

#include <memory>
#include <vector>

class QDBusServiceWatcher;

namespace platform::desktop {

class X11Session;
class X11ScreenSaverActivation;

class DesktopLockRequests;

// org.freedesktop.ScreenSaver as the desktops' lockers offer it, on one
// object path. Every call is served on the main loop.
class ScreenSaverAdaptor final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit ScreenSaverAdaptor(DesktopLockRequests& owner) : owner_(owner) {}

public Q_SLOTS:
    void Lock();
    void SimulateUserActivity();
    bool GetActive();
    uint GetActiveTime();
    // true asks for a lock; false is refused: nothing on the bus unlocks.
    bool SetActive(bool active);
    uint Inhibit(const QString& application, const QString& reason);
    void UnInhibit(uint cookie);

Q_SIGNALS:
    void ActiveChanged(bool active);

private:
    DesktopLockRequests& owner_;
};

// Tarnwick's own requests, beside the desktop's interface: what
// tarnwick-ctl asks that no desktop does.
class TarnwickControlAdaptor final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.quillmere.Tarnwick")
public:
    static constexpr const char* kObjectPath = "/com/quillmere/Tarnwick";
    explicit TarnwickControlAdaptor(DesktopLockRequests& owner) : owner_(owner) {}

public Q_SLOTS:
    // Shows the event log window, or hides it when shown, as its hot key does.
    void ShowLog();

private:
    DesktopLockRequests& owner_;
};

// The desktop's requests over D-Bus: org.freedesktop.ScreenSaver on the
// session bus, at /org/freedesktop/ScreenSaver and /ScreenSaver, under the
// well-known name when nobody else holds it (another desktop's locker may)
// and always under the application's own name; and logind's lock requests
// for this session on the system bus. Inhibitions end when their caller
// leaves the bus.
class DesktopLockRequests final : public QObject, public LockRequests {
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "org.freedesktop.ScreenSaver";

    // With an X session, the X server's screen saver switched on on request
    // counts as a lock request too.
    explicit DesktopLockRequests(X11Session* x11 = nullptr);
    ~DesktopLockRequests() override;

    void start(Handlers handlers) override;
    void stop() override;
    void lockStateChanged(bool locked) override;
    std::optional<std::string> inhibitingApplication() const override { return session_.inhibitingApplication(); }

    // What the adaptors carry out; `caller` is the unique bus name.
    ScreenSaverSession& session() { return session_; }
    void inhibitionTaken(const QString& caller);
    void inhibitionsMaybeEnded(const QString& caller);

private:
    void exportObjects();
    void claimServiceName();
    void callerLeft(const QString& caller);

    ScreenSaverSession session_;
    std::vector<std::unique_ptr<ScreenSaverAdaptor>> adaptors_;
    std::unique_ptr<TarnwickControlAdaptor> control_;
    QDBusServiceWatcher* callers_ = nullptr;
    LogindSessionLock logind_;
    X11Session* x11_ = nullptr;
    std::unique_ptr<X11ScreenSaverActivation> screenSaverActivation_;
    bool ownsServiceName_ = false;
};

}  // namespace platform::desktop
