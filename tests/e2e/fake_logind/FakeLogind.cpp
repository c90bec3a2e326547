#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSocketNotifier>

#include "FakeLogind.h"

#include <X11/Xlib.h>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>

// Commands on standard input: "sleep" and "wake" send PrepareForSleep;
// "lock", "unlock", "lock other" and "unlock other" send the session's Lock
// and Unlock signals for session 31 (or the other session, 32).
// Output lines: "ready", "inhibit taken <what> <mode>", "inhibit released
// locked|unlocked", "locked hint true|false".

static const QString kSession = QStringLiteral("/org/freedesktop/login1/session/_331");
static const QString kOtherSession = QStringLiteral("/org/freedesktop/login1/session/_332");

QDBusUnixFileDescriptor FakeLogind::Inhibit(const QString& what, const QString&, const QString&, const QString& mode) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    QDBusUnixFileDescriptor handed(fds[1]);
    close(fds[1]);
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier, fd = fds[0]] {
        char byte;
        if (read(fd, &byte, 1) > 0) return;
        notifier->setEnabled(false);
        notifier->deleteLater();
        close(fd);
        released();
    });
    std::printf("inhibit taken %s %s\n", qPrintable(what), qPrintable(mode));
    std::fflush(stdout);
    return handed;
}

QDBusObjectPath FakeLogind::GetSession(const QString& id) {
    if (id == QStringLiteral("31")) return QDBusObjectPath(kSession);
    if (id == QStringLiteral("32")) return QDBusObjectPath(kOtherSession);
    sendErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"), QStringLiteral("No session ") + id);
    return {};
}

QDBusObjectPath FakeLogind::GetSessionByPID(uint) { return QDBusObjectPath(kSession); }

void FakeLogindSession::SetLockedHint(bool locked) {
    std::printf("locked hint %s\n", locked ? "true" : "false");
    std::fflush(stdout);
}

void FakeLogind::released() {
    Display* dpy = XOpenDisplay(display_);
    const char* state = "unknown";
    if (dpy) {
        const int status = XGrabKeyboard(dpy, DefaultRootWindow(dpy), False, GrabModeAsync, GrabModeAsync, CurrentTime);
        state = status == AlreadyGrabbed ? "locked" : "unlocked";
        XUngrabKeyboard(dpy, CurrentTime);
        XCloseDisplay(dpy);
    }
    std::printf("inhibit released %s\n", state);
    std::fflush(stdout);
}

static void announce(bool start) {
    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                   QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
    signal << start;
    QDBusConnection::systemBus().send(signal);
}

static void announceSession(const std::string& command) {
    const bool other = command.ends_with(" other");
    const QString name = command.starts_with("lock") ? QStringLiteral("Lock") : QStringLiteral("Unlock");
    QDBusMessage signal = QDBusMessage::createSignal(other ? kOtherSession : kSession,
                                                     QStringLiteral("org.freedesktop.login1.Session"), name);
    QDBusConnection::systemBus().send(signal);
}

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QDBusConnection bus = QDBusConnection::systemBus();
    FakeLogind manager(std::getenv("DISPLAY"));
    FakeLogindSession session, otherSession;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, QDBusConnection::ExportAllSlots) ||
        !bus.registerObject(kSession, &session, QDBusConnection::ExportAllSlots) ||
        !bus.registerObject(kOtherSession, &otherSession, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        std::fprintf(stderr, "fake logind: cannot register on the system bus\n");
        return 1;
    }
    // Commands come from a reader thread and are carried out on the main loop.
    std::thread([&application] {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (line.starts_with("lock") || line.starts_with("unlock")) {
                QMetaObject::invokeMethod(
                    &application, [line] { announceSession(line); }, Qt::QueuedConnection);
                continue;
            }
            const bool start = line == "sleep";
            if (!start && line != "wake") continue;
            QMetaObject::invokeMethod(
                &application, [start] { announce(start); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            &application, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    }).detach();
    std::printf("ready\n");
    std::fflush(stdout);
    return application.exec();
}
