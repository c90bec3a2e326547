#pragma once

// Qt before X11: Xlib's macros (None, Bool) break Qt's headers.
#include "platform/desktop/qt/QtRunLoop.h"
#include "platform/desktop/qt/QtWindowPeer.h"

#include "platform/foundation/RunLoop.h"
#include "platform/services/Displays.h"
#include "platform/ui/Window.h"
#include "platform/desktop/LockGuard.h"
#include "platform/desktop/x11/X11Displays.h"
#include "platform/desktop/x11/X11Session.h"
#include "platform/desktop/x11/X11ShieldHost.h"

#include <X11/Xlib.h>
#include <memory>

// The application's windows drawn by the Qt peers on the private X server:
// the displays, the run loop and the window peers installed as the desktop
// backend installs them, and taken down again in reverse order.
class QtPeersOnX11 {
public:
    QtPeersOnX11()
        : session_(std::make_unique<platform::desktop::X11Session>(XOpenDisplay(nullptr))),
          displays_(std::make_unique<platform::desktop::X11Displays>(*session_, guard_)),
          shieldHost_(std::make_unique<platform::desktop::X11ShieldHost>(*displays_)),
          runLoop_(std::make_unique<platform::desktop::QtRunLoop>()) {
        platform::Displays::install(displays_.get());
        platform::RunLoop::install(runLoop_.get());
        platform::Window::setPeerProvider([this](platform::Window& window) {
            window.setPeer(std::make_shared<platform::desktop::QtWindowPeer>(window, *shieldHost_, nullptr));
        });
    }

    ~QtPeersOnX11() {
        platform::Window::setPeerProvider(nullptr);
        platform::RunLoop::install(nullptr);
        platform::Displays::install(nullptr);
    }

    QtPeersOnX11(const QtPeersOnX11&) = delete;
    QtPeersOnX11& operator=(const QtPeersOnX11&) = delete;

private:
    platform::desktop::LockGuard guard_{""};
    std::unique_ptr<platform::desktop::X11Session> session_;
    std::unique_ptr<platform::desktop::X11Displays> displays_;
    std::unique_ptr<platform::desktop::X11ShieldHost> shieldHost_;
    std::unique_ptr<platform::desktop::QtRunLoop> runLoop_;
};
