#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QKeyEvent>
#include <QSocketNotifier>

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
#include "platform/desktop/x11/X11ShieldHost.h"
#include "platform/desktop/x11/XkbInputSources.h"
#include "platform/desktop/wayland/WaylandDisplays.h"
#include "platform/desktop/wayland/WaylandSessionServices.h"
#include "platform/desktop/wayland/extras/ExtrasConnection.h"
#include "platform/desktop/wayland/extras/WaylandExtras.h"
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

SessionKind currentKind() { return sessionKind(SessionEnvironment::current()); }

// The display server the guard is to lock, by the name it is reached at.
std::string guardedDisplayName() {
    if (currentKind() == SessionKind::X11) return displayName();
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return name ? name : "";
}

LockGuard::Server guardedServer() {
    return currentKind() == SessionKind::Wayland ? LockGuard::Server::Wayland : LockGuard::Server::X11;
}

std::unique_ptr<wayland::LockClient> connectToCompositor() {
    std::string error;
    std::unique_ptr<wayland::LockClient> client = wayland::LockClient::connect(nullptr, error);
    if (!client) throw std::runtime_error("cannot reach the Wayland compositor: " + error);
    return client;
}

}  // namespace

struct DesktopBackend::Services {
    // Started once the application has announced its start (see exec()),
    // or before that at the first lock or fade, which it is told of first.
    LockGuard guard{guardedDisplayName(), {}, guardedServer(), LockGuard::Start::WhenNeeded};
    std::unique_ptr<QApplication> application;
    std::unique_ptr<X11Session> session;  // X11 only
    std::unique_ptr<QtRunLoop> runLoop;
    std::unique_ptr<QtAlertPresenter> alerts;
    std::unique_ptr<X11Displays> displays;                      // X11 only
    std::unique_ptr<wayland::WaylandDisplays> waylandDisplays;  // Wayland only
    std::unique_ptr<ShieldHost> shieldHost;
    std::unique_ptr<DisplayPower> displayPower;
    std::unique_ptr<SystemUIMode> systemUIMode;
    std::unique_ptr<Processes> processes;
    std::unique_ptr<InputSources> inputSources;
    std::unique_ptr<EventTap> eventTap;
    std::unique_ptr<HotKeyCenter> hotKeys;
    std::unique_ptr<CommonServices> common;
    std::unique_ptr<DesktopLockRequests> lockRequests;
    std::unique_ptr<X11IdleTime> idleTime;
    // Wayland only: inactivity, display power, the window in front and the
    // layouts, on a connection of their own beside the lock's.
    std::unique_ptr<wayland::ExtrasConnection> extrasConnection;
    std::unique_ptr<wayland::WaylandExtras> extras;
    std::unique_ptr<QSocketNotifier> extrasNotifier;

    void composeX11();
    void composeWayland();
    bool composeWaylandExtras();
    void composeShared();

    EventRef translateQtKey(QKeyEvent* event) const {
        // The key's unshifted symbol names it; without an X connection (the
        // ordinary windows on Wayland) the symbol Qt read is the best there is.
        const auto keysym =
            session ? XkbKeycodeToKeysym(session->display(), static_cast<KeyCode>(event->nativeScanCode()), 0, 0)
                    : static_cast<KeySym>(event->nativeVirtualKey());
        const auto code = keys::macKeyCode(keysym);
        std::string characters = event->text().toStdString();
        if (!code && characters.empty()) return nullptr;
        return std::make_shared<Event>(Event::Type::KeyDown, code.value_or(X11KeyEvents::kUnmappedKeyCode),
                                       std::move(characters), event->isAutoRepeat(), eventFlagsFor(event->modifiers()));
    }
};

void DesktopBackend::Services::composeX11() {
    session = std::make_unique<X11Session>(openDisplay());
    if (keymapBreaksGrabs(session->display()))
        LogSink::write(
            "Tarnwick: the keyboard map lets anyone at the keyboard break the lock's grab (XKB option "
            "grab:break_actions: XF86Ungrab, XF86ClearGrab); remove that option to keep the screen locked");
    displays = makeInstalled<Displays, X11Displays>(*session, guard);
    shieldHost = std::make_unique<X11ShieldHost>(*displays);
    displayPower = makeInstalled<DisplayPower, X11DisplayPower>(*session);
    processes = makeInstalled<Processes, X11Processes>(*session);
    inputSources = makeInstalled<InputSources, XkbInputSources>(*session);
    eventTap = makeInstalled<EventTap, XInputEventTap>(*session);
    hotKeys = makeInstalled<HotKeyCenter, X11HotKeyCenter>(*session);
    lockRequests = makeInstalled<LockRequests, DesktopLockRequests>(session.get());
    idleTime = makeInstalled<IdleTime, X11IdleTime>(*session);
}

// The compositor locks the session; what it does not offer a client
// (global keys, other clients' input) has its Wayland stand-in.
void DesktopBackend::Services::composeWayland() {
    waylandDisplays = makeInstalled<Displays, wayland::WaylandDisplays>(connectToCompositor(), guard);
    hotKeys = makeInstalled<HotKeyCenter, wayland::WaylandHotKeyCenter>();
    lockRequests = makeInstalled<LockRequests, DesktopLockRequests>(nullptr);
    if (composeWaylandExtras()) return;
    displayPower = makeInstalled<DisplayPower, wayland::NoDisplayPowerControl>();
    processes = makeInstalled<Processes, wayland::WaylandProcesses>();
    inputSources = makeInstalled<InputSources, wayland::WaylandInputSources>();
    eventTap = makeInstalled<EventTap, wayland::WaylandEventTap>();
}

// Each of them says once in the log what the compositor lacks.
bool DesktopBackend::Services::composeWaylandExtras() {
    extrasConnection = wayland::ExtrasConnection::open();
    if (!extrasConnection) return false;
    extras = std::make_unique<wayland::WaylandExtras>(extrasConnection->display(), extrasConnection->globals());
    extras->install();
    waylandDisplays->useGamma(&extras->gamma());
    auto dispatch = [this] {
        if (extrasNotifier->isEnabled() && !extrasConnection->dispatch()) {
            LogSink::write("Tarnwick: the compositor ended the connection for inactivity and display power");
            extrasNotifier->setEnabled(false);
        }
    };
    extrasNotifier = std::make_unique<QSocketNotifier>(extrasConnection->fd(), QSocketNotifier::Read);
    QObject::connect(extrasNotifier.get(), &QSocketNotifier::activated, dispatch);
    // Requests made anywhere in a turn of the event loop leave before it waits.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     extrasNotifier.get(), dispatch);
    return true;
}

void DesktopBackend::Services::composeShared() {
    AttemptsRecord::install(&guard);
    systemUIMode = makeInstalled<SystemUIMode, X11SystemUIMode>();
    common = std::make_unique<CommonServices>();
}

DesktopBackend::DesktopBackend(int& argc, char** argv) : services_(std::make_unique<Services>()) {
    Services& s = *services_;
    const bool wayland = currentKind() == SessionKind::Wayland;
    // Qt's own connection and the backend's may be used from the photo and
    // channel threads' callbacks; Xlib must know before its first call.
    if (!wayland) XInitThreads();
    // Ordinary windows go to the compositor too (Qt's Wayland plug-in).
    if (wayland && !std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "wayland;xcb", 1);
    s.application = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    s.runLoop = makeInstalled<RunLoop, QtRunLoop>();
    s.alerts = makeInstalled<AlertPresenter, QtAlertPresenter>();
    if (wayland)
        s.composeWayland();
    else
        s.composeX11();
    s.composeShared();

    ShieldHost& shieldHost = wayland ? static_cast<ShieldHost&>(*s.waylandDisplays) : *s.shieldHost;
    Window::setPeerProvider([&s, &shieldHost](Window& window) {
        window.setPeer(std::make_shared<QtWindowPeer>(window, shieldHost,
                                                      [&s](QKeyEvent* event) { return s.translateQtKey(event); }));
    });
    StatusBar::system().setListener([&s](const StatusItemRef& item, bool added) {
        item->setPeer(added ? std::make_shared<QtStatusItemPeer>(*item, s.session.get()) : nullptr);
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
    s.extrasNotifier.reset();
    if (s.waylandDisplays) s.waylandDisplays->useGamma(nullptr);
    s.extras.reset();
    s.extrasConnection.reset();
    s.idleTime.reset();
    s.lockRequests.reset();
    s.common.reset();
    s.hotKeys.reset();
    s.eventTap.reset();
    s.inputSources.reset();
    s.processes.reset();
    s.systemUIMode.reset();
    s.displayPower.reset();
    s.shieldHost.reset();
    s.displays.reset();
    s.waylandDisplays.reset();
    s.alerts.reset();
    s.runLoop.reset();
    s.session.reset();
    s.application.reset();
}

int DesktopBackend::exec() {
    // After the work already queued, the start of the application among it:
    // the guard's own start would compete with the application's for the
    // processor. A lock at start-up comes before this and starts the guard
    // itself, before it takes the keyboard.
    QMetaObject::invokeMethod(
        services_->application.get(), [this] { services_->guard.startIfNeeded(); }, Qt::QueuedConnection);
    return QApplication::exec();
}

}  // namespace platform::desktop
