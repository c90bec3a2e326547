#include <QApplication>
#include <QKeyEvent>

#include "platform/desktop/DesktopBackend.h"
#include "platform/services/Services.h"

#include "platform/desktop/CommonServices.h"
#include "platform/desktop/dbus/DesktopLockRequests.h"
#include "platform/desktop/LockGuard.h"
#include "platform/desktop/qt/QtAlertPresenter.h"
#include "platform/desktop/qt/QtKeyModifiers.h"
#include "platform/desktop/qt/QtRunLoop.h"
#include "platform/desktop/qt/QtStatusItemPeer.h"
#include "platform/desktop/qt/QtWindowPeer.h"
#include "platform/desktop/SessionCheck.h"
#include "platform/desktop/x11/X11DisplayPower.h"
#include "platform/desktop/x11/X11Displays.h"
#include "platform/desktop/x11/X11HotKeyCenter.h"
#include "platform/desktop/x11/X11IdleTime.h"
#include "platform/desktop/x11/X11Processes.h"
#include "platform/desktop/x11/X11Session.h"
#include "platform/desktop/x11/X11SystemUIMode.h"
#include "platform/desktop/x11/XInputEventTap.h"
#include "platform/desktop/x11/XkbInputSources.h"
#include "platform/foundation/LogSink.h"
#include "platform/ui/Application.h"
#include "platform/ui/StatusBar.h"
#include "platform/ui/Window.h"

#include <X11/XKBlib.h>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace platform::desktop {

namespace {

std::string displayName() {
    const char* name = std::getenv("DISPLAY");
    return name ? name : "";
}

Display* openDisplay() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) throw std::runtime_error("cannot open the X display \"" + displayName() + "\"");
    return display;
}

}  // namespace

struct DesktopBackend::Services {
    // Forked before Qt or Xlib exist in this process.
    LockGuard guard{displayName()};
    std::unique_ptr<QApplication> application;
    std::unique_ptr<X11Session> session;
    std::unique_ptr<QtRunLoop> runLoop;
    std::unique_ptr<QtAlertPresenter> alerts;
    std::unique_ptr<X11Displays> displays;
    std::unique_ptr<X11DisplayPower> displayPower;
    std::unique_ptr<X11SystemUIMode> systemUIMode;
    std::unique_ptr<X11Processes> processes;
    std::unique_ptr<XkbInputSources> inputSources;
    std::unique_ptr<XInputEventTap> eventTap;
    std::unique_ptr<X11HotKeyCenter> hotKeys;
    std::unique_ptr<CommonServices> common;
    std::unique_ptr<DesktopLockRequests> lockRequests;
    std::unique_ptr<X11IdleTime> idleTime;

    EventRef translateQtKey(QKeyEvent* event) const {
        const auto keysym = XkbKeycodeToKeysym(session->display(), static_cast<KeyCode>(event->nativeScanCode()), 0, 0);
        const auto code = keys::macKeyCode(keysym);
        std::string characters = event->text().toStdString();
        if (!code && characters.empty()) return nullptr;
        return std::make_shared<Event>(Event::Type::KeyDown, code.value_or(X11KeyEvents::kUnmappedKeyCode),
                                       std::move(characters), event->isAutoRepeat(), eventFlagsFor(event->modifiers()));
    }
};

DesktopBackend::DesktopBackend(int& argc, char** argv) : services_(std::make_unique<Services>()) {
    Services& s = *services_;
    // Qt's own connection and the backend's may be used from the photo and
    // channel threads' callbacks; Xlib must know before its first call.
    XInitThreads();
    s.application = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    s.session = std::make_unique<X11Session>(openDisplay());
    if (keymapBreaksGrabs(s.session->display()))
        LogSink::write(
            "Tarnwick: the keyboard map lets anyone at the keyboard break the lock's grab (XKB option "
            "grab:break_actions: XF86Ungrab, XF86ClearGrab); remove that option to keep the screen locked");

    s.runLoop = makeInstalled<RunLoop, QtRunLoop>();
    s.alerts = makeInstalled<AlertPresenter, QtAlertPresenter>();
    s.displays = makeInstalled<Displays, X11Displays>(*s.session, s.guard);
    s.displayPower = makeInstalled<DisplayPower, X11DisplayPower>(*s.session);
    s.systemUIMode = makeInstalled<SystemUIMode, X11SystemUIMode>();
    s.processes = makeInstalled<Processes, X11Processes>(*s.session);
    s.inputSources = makeInstalled<InputSources, XkbInputSources>(*s.session);
    s.eventTap = makeInstalled<EventTap, XInputEventTap>(*s.session);
    s.hotKeys = makeInstalled<HotKeyCenter, X11HotKeyCenter>(*s.session);
    s.common = std::make_unique<CommonServices>();
    s.lockRequests = makeInstalled<LockRequests, DesktopLockRequests>(s.session.get());
    s.idleTime = makeInstalled<IdleTime, X11IdleTime>(*s.session);

    Window::setPeerProvider([&s](Window& window) {
        window.setPeer(std::make_shared<QtWindowPeer>(window, *s.displays,
                                                      [&s](QKeyEvent* event) { return s.translateQtKey(event); }));
    });
    StatusBar::system().setListener([&s](const StatusItemRef& item, bool added) {
        item->setPeer(added ? std::make_shared<QtStatusItemPeer>(*item, *s.session) : nullptr);
    });
    QObject::connect(s.application.get(), &QGuiApplication::applicationStateChanged, [](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive && Application::shared().isActive()) Application::shared().resignActive();
    });
}

DesktopBackend::~DesktopBackend() {
    Services& s = *services_;
    // Status items live in a process-wide bar that outlives Qt; their tray
    // icons must go while Qt still exists.
    for (const StatusItemRef& item : StatusBar::system().items()) item->setPeer(nullptr);
    StatusBar::system().setListener(nullptr);
    Window::setPeerProvider(nullptr);
    uninstallAllServices();
    s.idleTime.reset();
    s.lockRequests.reset();
    s.common.reset();
    s.hotKeys.reset();
    s.eventTap.reset();
    s.inputSources.reset();
    s.processes.reset();
    s.systemUIMode.reset();
    s.displayPower.reset();
    s.displays.reset();
    s.alerts.reset();
    s.runLoop.reset();
    s.session.reset();
    s.application.reset();
}

int DesktopBackend::exec() { return QApplication::exec(); }

}  // namespace platform::desktop
