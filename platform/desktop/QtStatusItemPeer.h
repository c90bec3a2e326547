#pragma once

#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include "platform/ui/StatusBar.h"
#include "platform/ui/View.h"

namespace platform::desktop {

// A status item as a tray icon with its menu. When no tray exists (a
// session without a panel yet) the icon waits and appears as soon as one does.
class QtStatusItemPeer final : public Peer {
public:
    explicit QtStatusItemPeer(StatusItem& item);
    ~QtStatusItemPeer() override;

    void modelChanged() override;

private:
    void rebuildMenu();
    void showWhenTrayExists();

    StatusItem& item_;
    QSystemTrayIcon icon_;
    QMenu menu_;
    QTimer trayWatch_;
};

}  // namespace platform::desktop
