#pragma once

#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

#include "platform/ui/StatusBar.h"
#include "platform/ui/View.h"

#include <memory>

namespace platform::desktop {

class X11Session;
class X11TrayWatch;

// A status item as a tray icon with its menu. When no tray exists (a
// session without a panel yet) the icon waits and appears as soon as one does.
class QtStatusItemPeer final : public Peer {
public:
    // Without an X session (Wayland) the icon is shown when a tray exists at the start.
    QtStatusItemPeer(StatusItem& item, X11Session* session);
    ~QtStatusItemPeer() override;

    void modelChanged() override;

private:
    void refresh();
    void rebuildMenu();
    void showWhenTrayExists();

    StatusItem& item_;
    X11Session* session_;
    QSystemTrayIcon icon_;
    QMenu menu_;
    // Only while waiting for a tray.
    std::unique_ptr<X11TrayWatch> trayWatch_;
    bool refreshPending_ = false;
};

}  // namespace platform::desktop
