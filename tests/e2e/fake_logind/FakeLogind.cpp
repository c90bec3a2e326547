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

// Commands on standard input: "sleep" and "wake" send PrepareForSleep.
// Output lines: "ready", "inhibit taken <what> <mode>", "inhibit released
// locked|unlocked".

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
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                     QStringLiteral("org.freedesktop.login1.Manager"),
                                                     QStringLiteral("PrepareForSleep"));
    signal << start;
    QDBusConnection::systemBus().send(signal);
}

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QDBusConnection bus = QDBusConnection::systemBus();
    FakeLogind manager(std::getenv("DISPLAY"));
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        std::fprintf(stderr, "fake logind: cannot register on the system bus\n");
        return 1;
    }
    // Commands come from a reader thread and are carried out on the main loop.
    std::thread([&application] {
        std::string line;
        while (std::getline(std::cin, line)) {
            const bool start = line == "sleep";
            if (!start && line != "wake") continue;
            QMetaObject::invokeMethod(&application, [start] { announce(start); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(&application, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    }).detach();
    std::printf("ready\n");
    std::fflush(stdout);
    return application.exec();
}
