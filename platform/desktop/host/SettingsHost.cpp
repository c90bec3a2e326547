#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QSocketNotifier>

#include "platform/desktop/host/SettingsHost.h"

#include "platform/desktop/CommonServices.h"
#include "platform/desktop/qt/QtAlertPresenter.h"
#include "platform/desktop/qt/QtOpenPanelPresenter.h"
#include "platform/desktop/qt/QtRunLoop.h"
#include "platform/desktop/x11/X11Session.h"
#include "platform/desktop/x11/XkbInputSources.h"
#include "platform/desktop/x11/XkbLayoutCharacters.h"
#include "platform/desktop/DesktopCompositorSession.h"
#include "platform/desktop/host/QtPaneWindowPeer.h"
#include "platform/desktop/host/WidgetMap.h"
#include "platform/desktop/wayland/extras/ExtrasConnection.h"
#include "platform/desktop/wayland/extras/WaylandKeymapLayouts.h"
#include "platform/desktop/wayland/extras/WaylandLayoutCharacters.h"
#include "platform/foundation/LogSink.h"
#include "platform/services/Services.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace platform::desktop {

namespace {

// Closing the pane's window ends the host, once the pane agrees.
class MainWindowDelegate final : public WindowDelegate {
public:
    void setPane(PreferencePane* pane) { pane_ = pane; }
    bool windowShouldClose(Window&) override {
        if (pane_ && pane_->shouldUnselect() == PreferencePane::UnselectReply::Cancel) return false;
        QCoreApplication::quit();
        return true;
    }

private:
    PreferencePane* pane_ = nullptr;
};

Display* openDisplay() {
    const char* name = std::getenv("DISPLAY");
    const char* compositor = std::getenv("WAYLAND_DISPLAY");
    if ((!name || !*name) && compositor && *compositor)
        throw std::runtime_error("the Wayland compositor \"" + std::string(compositor) +
                                 "\" does not answer and there is no X display (DISPLAY is not set)");
    if (!name || !*name)
        throw std::runtime_error("no X display (DISPLAY is not set) and no Wayland compositor (WAYLAND_DISPLAY)");
    Display* display = XOpenDisplay(nullptr);
    if (!display) throw std::runtime_error("cannot open the X display; the settings need an X11 or Wayland session");
    return display;
}

// The compositor of WAYLAND_DISPLAY, when it answers: the settings then run
// on it, and the password's keyboard is the keymap it sends.
std::unique_ptr<wayland::ExtrasConnection> openCompositor() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name) return nullptr;
    return wayland::ExtrasConnection::open();
}

}  // namespace

struct SettingsHost::Services {
    std::unique_ptr<QApplication> application;
    std::unique_ptr<X11Session> session;                     // X11 only
    std::unique_ptr<wayland::ExtrasConnection> compositor;   // Wayland only
    std::unique_ptr<wayland::WaylandKeymapLayouts> keymaps;  // Wayland only
    std::unique_ptr<QSocketNotifier> compositorNotifier;     // Wayland only
    std::unique_ptr<QtRunLoop> runLoop;
    std::unique_ptr<QtAlertPresenter> alerts;
    std::unique_ptr<QtOpenPanelPresenter> openPanels;
    std::unique_ptr<InputSources> inputSources;
    std::unique_ptr<LayoutCharacters> layoutCharacters;
    // The pane lists the cameras and the Bluetooth devices to choose from,
    // as the application sees them.
    std::unique_ptr<CommonServices> common;
    std::unique_ptr<DesktopCompositorSession> compositorSession;
    std::unique_ptr<WidgetMap> widgetMap;
    std::unique_ptr<PreferencePane> pane;
    std::unique_ptr<Window> mainWindow;
    MainWindowDelegate mainWindowDelegate;

    void composeX11(Display* connection);
    void composeWayland();
};

// Without a compositor the password's layout is the X server's keyboard map.
void SettingsHost::Services::composeX11(Display* connection) {
    session = std::make_unique<X11Session>(connection);
    inputSources = makeInstalled<InputSources, XkbInputSources>(*session);
    layoutCharacters = makeInstalled<LayoutCharacters, XkbLayoutCharacters>(*session);
}

// The keymap comes with the seat's keyboard, and again whenever the
// compositor changes it: the connection is read as the window's is.
void SettingsHost::Services::composeWayland() {
    keymaps = std::make_unique<wayland::WaylandKeymapLayouts>(compositor->globals());
    compositor->roundtrip();
    auto dispatch = [this] {
        if (compositorNotifier->isEnabled() && !compositor->dispatch()) {
            LogSink::write("tarnwick-settings: the compositor ended the connection for the keyboard layouts");
            compositorNotifier->setEnabled(false);
        }
    };
    compositorNotifier = std::make_unique<QSocketNotifier>(compositor->fd(), QSocketNotifier::Read);
    QObject::connect(compositorNotifier.get(), &QSocketNotifier::activated, dispatch);
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     compositorNotifier.get(), dispatch);
    InputSources::install(keymaps.get());
    layoutCharacters = makeInstalled<LayoutCharacters, wayland::WaylandLayoutCharacters>(*keymaps);
}

SettingsHost::SettingsHost(int& argc, char** argv) : services_(std::make_unique<Services>()) {
    Services& s = *services_;
    // Qt ends the process when it cannot reach the display; a display that
    // opens here is one Qt can open too.
    s.compositor = openCompositor();
    Display* connection = s.compositor ? nullptr : openDisplay();
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", s.compositor ? "wayland;xcb" : "xcb", 1);
    s.application = std::make_unique<QApplication>(argc, argv);
    if (s.compositor)
        s.composeWayland();
    else
        s.composeX11(connection);
    QApplication::setApplicationName(QStringLiteral("tarnwick-settings"));

    s.runLoop = makeInstalled<RunLoop, QtRunLoop>();
    s.alerts = makeInstalled<AlertPresenter, QtAlertPresenter>();
    s.openPanels = makeInstalled<OpenPanelPresenter, QtOpenPanelPresenter>();
    s.common = std::make_unique<CommonServices>();
    s.compositorSession = makeInstalled<CompositorSession, DesktopCompositorSession>();

    Window::setPeerProvider([](Window& window) { window.setPeer(std::make_shared<QtPaneWindowPeer>(window)); });
    if (const char* map = std::getenv("TARNWICK_SETTINGS_WIDGET_MAP"); map && *map)
        s.widgetMap = std::make_unique<WidgetMap>(QString::fromLocal8Bit(map));
}

SettingsHost::~SettingsHost() {
    Services& s = *services_;
    s.mainWindow.reset();
    s.pane.reset();
    s.widgetMap.reset();
    Application::shared().setActivationHandler(nullptr);
    Window::setPeerProvider(nullptr);
    uninstallAllServices();
    s.compositorSession.reset();
    s.common.reset();
    s.layoutCharacters.reset();
    s.inputSources.reset();
    s.openPanels.reset();
    s.alerts.reset();
    s.runLoop.reset();
    s.compositorNotifier.reset();
    s.keymaps.reset();
    s.compositor.reset();
    s.session.reset();
    s.application.reset();
}

void SettingsHost::show(std::unique_ptr<PreferencePane> pane, const std::string& title) {
    Services& s = *services_;
    s.pane = std::move(pane);
    s.mainWindow = std::make_unique<Window>(Rect{0, 0, 640, 0});
    s.mainWindow->setTitle(title);
    s.mainWindowDelegate.setPane(s.pane.get());
    s.mainWindow->setDelegate(&s.mainWindowDelegate);
    s.mainWindow->setContentView(s.pane->loadMainView());
    s.mainWindow->makeKeyAndOrderFront();
    Application::shared().setActivationHandler([window = s.mainWindow.get()] {
        if (QWidget* widget = QtPaneWindowPeer::widgetOf(*window)) {
            widget->raise();
            widget->activateWindow();
        }
    });
}

int SettingsHost::exec() { return QApplication::exec(); }

}  // namespace platform::desktop
