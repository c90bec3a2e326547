// The camera service comes before Xlib, whose Status macro would clash with it.
#ifdef TARNWICK_HAVE_V4L2
#include "platform/desktop/V4L2Capture.h"
#endif

#include <QApplication>
#include <QKeyEvent>

#include "platform/desktop/DesktopBackend.h"
#include "platform/services/Services.h"

#include "platform/desktop/BlueZBluetooth.h"
#include "platform/desktop/DBusConnectionService.h"
#include "platform/desktop/DBusNotificationCenter.h"
#include "platform/desktop/DesktopWorkspace.h"
#include "platform/desktop/LockGuard.h"
#include "platform/desktop/QtAlertPresenter.h"
#include "platform/desktop/QtRunLoop.h"
#include "platform/desktop/QtStatusItemPeer.h"
#include "platform/desktop/QtWindowPeer.h"
#include "platform/desktop/SessionCheck.h"
#include "platform/desktop/X11DisplayPower.h"
#include "platform/desktop/X11Displays.h"
#include "platform/desktop/X11HotKeyCenter.h"
#include "platform/desktop/X11Processes.h"
#include "platform/desktop/X11Session.h"
#include "platform/desktop/X11SystemUIMode.h"
#include "platform/desktop/XInputEventTap.h"
#include "platform/desktop/XkbInputSources.h"
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

std::uint32_t modifiersFor(Qt::KeyboardModifiers modifiers) {
    std::uint32_t flags = 0;
    if (modifiers & Qt::ShiftModifier) flags |= Event::Shift;
    if (modifiers & Qt::ControlModifier) flags |= Event::Control;
    if (modifiers & Qt::AltModifier) flags |= Event::Option;
    if (modifiers & Qt::MetaModifier) flags |= Event::Command;
    return flags;
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
    std::unique_ptr<DesktopWorkspace> workspace;
    std::unique_ptr<DBusNotificationCenter> notifications;
    std::unique_ptr<DBusConnectionService> connections;
    std::unique_ptr<BlueZBluetooth> bluetooth;
#ifdef TARNWICK_HAVE_V4L2
    std::unique_ptr<v4l2::V4L2Capture> capture;
#endif

    EventRef translateQtKey(QKeyEvent* event) const {
        const auto keysym = XkbKeycodeToKeysym(session->display(), static_cast<KeyCode>(event->nativeScanCode()), 0, 0);
        const auto code = keys::macKeyCode(keysym);
        std::string characters = event->text().toStdString();
        if (!code && characters.empty()) return nullptr;
        return std::make_shared<Event>(Event::Type::KeyDown, code.value_or(X11KeyEvents::kUnmappedKeyCode),
                                       std::move(characters), event->isAutoRepeat(), modifiersFor(event->modifiers()));
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
        LogSink::write("Tarnwick: the keyboard map lets anyone at the keyboard break the lock's grab (XKB option "
                       "grab:break_actions: XF86Ungrab, XF86ClearGrab); remove that option to keep the screen locked");

    s.runLoop = std::make_unique<QtRunLoop>();
    RunLoop::install(s.runLoop.get());
    s.alerts = std::make_unique<QtAlertPresenter>();
    AlertPresenter::install(s.alerts.get());
    s.displays = std::make_unique<X11Displays>(*s.session, s.guard);
    Displays::install(s.displays.get());
    s.displayPower = std::make_unique<X11DisplayPower>(*s.session);
    DisplayPower::install(s.displayPower.get());
    s.systemUIMode = std::make_unique<X11SystemUIMode>();
    SystemUIMode::install(s.systemUIMode.get());
    s.processes = std::make_unique<X11Processes>(*s.session);
    Processes::install(s.processes.get());
    s.inputSources = std::make_unique<XkbInputSources>(*s.session);
    InputSources::install(s.inputSources.get());
    s.eventTap = std::make_unique<XInputEventTap>(*s.session);
    EventTap::install(s.eventTap.get());
    s.hotKeys = std::make_unique<X11HotKeyCenter>(*s.session);
    HotKeyCenter::install(s.hotKeys.get());
    s.workspace = std::make_unique<DesktopWorkspace>();
    Workspace::install(s.workspace.get());
    s.notifications = std::make_unique<DBusNotificationCenter>();
    DistributedNotificationCenter::install(s.notifications.get());
    s.connections = std::make_unique<DBusConnectionService>();
    ConnectionService::install(s.connections.get());
    s.bluetooth = std::make_unique<BlueZBluetooth>();
    Bluetooth::install(s.bluetooth.get());
#ifdef TARNWICK_HAVE_V4L2
    s.capture = std::make_unique<v4l2::V4L2Capture>();
    Capture::install(s.capture.get());
#endif

    Window::setPeerProvider([&s](Window& window) {
        window.setPeer(std::make_shared<QtWindowPeer>(window, *s.displays,
                                                      [&s](QKeyEvent* event) { return s.translateQtKey(event); }));
    });
    StatusBar::system().setListener([](const StatusItemRef& item, bool added) {
        item->setPeer(added ? std::make_shared<QtStatusItemPeer>(*item) : nullptr);
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
#ifdef TARNWICK_HAVE_V4L2
    s.capture.reset();
#endif
    s.bluetooth.reset();
    s.connections.reset();
    s.notifications.reset();
    s.workspace.reset();
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
