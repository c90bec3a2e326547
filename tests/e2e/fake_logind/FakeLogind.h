#pragma once

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

// A stand-in for logind's manager on a private system bus: hands out
// inhibitor descriptors and says on standard output when one is let go,
// and whether the keyboard was grabbed at that moment (the lock is up).
class FakeLogind final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    explicit FakeLogind(const char* display) : display_(display) {}

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode);
    // Every process belongs to session "31"; "32" is another user's.
    QDBusObjectPath GetSession(const QString& id);
    QDBusObjectPath GetSessionByPID(uint pid);

private:
    void released();
    const char* display_;
};

// One session of the stand-in: says on standard output what its locked hint
// was set to.
class FakeLogindSession final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
public Q_SLOTS:
    void SetLockedHint(bool locked);
};
