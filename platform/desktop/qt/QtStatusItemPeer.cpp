#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "platform/desktop/qt/QtStatusItemPeer.h"
#include "platform/desktop/x11/X11TrayWatch.h"

namespace platform::desktop {

namespace {

QIcon iconFor(const ImageRef& image) {
    if (image && !image->filePath().empty()) {
        // Through QImage: a pixmap loaded from a file goes into Qt's pixmap
        // cache, whose clean-up timer would wake the idle application.
        const QImage picture(QString::fromStdString(image->filePath()));
        if (!picture.isNull()) return QIcon(QPixmap::fromImage(picture));
    }
    // A plain padlock-coloured square rather than an invisible item.
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setBrush(QColor(90, 90, 90));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(3, 7, 12, 10, 2, 2);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(90, 90, 90), 2));
    painter.drawArc(5, 1, 8, 12, 0, 180 * 16);
    return QIcon(pixmap);
}

}  // namespace

QtStatusItemPeer::QtStatusItemPeer(StatusItem& item, X11Session* session) : item_(item), session_(session) {
    icon_.setContextMenu(&menu_);
    QObject::connect(&icon_, &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
        // A left click opens the menu too, as a menu-bar item does.
        if (reason == QSystemTrayIcon::Trigger) menu_.popup(QCursor::pos());
    });
    // Shown once it has its icon, a turn of the event loop after the work
    // already queued (at start-up, the application's announcement that it
    // runs, which the settings wait for; the tray can wait a turn).
    refreshPending_ = true;
    QMetaObject::invokeMethod(
        &icon_,
        [this] {
            QMetaObject::invokeMethod(
                &icon_,
                [this] {
                    refreshPending_ = false;
                    refresh();
                    showWhenTrayExists();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

QtStatusItemPeer::~QtStatusItemPeer() {
    trayWatch_.reset();
    icon_.hide();
}

void QtStatusItemPeer::showWhenTrayExists() {
    // Watching before asking: a tray that comes in between is still reported.
    if (!trayWatch_ && session_)
        trayWatch_ = std::make_unique<X11TrayWatch>(*session_, [this] { showWhenTrayExists(); });
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    trayWatch_.reset();
    icon_.show();
}

// An item is built by several changes in a row (image, menu, tool tip), and
// each would decode the image again: the icon follows once, in the next turn
// of the event loop.
void QtStatusItemPeer::modelChanged() {
    if (refreshPending_) return;
    refreshPending_ = true;
    QMetaObject::invokeMethod(
        &icon_,
        [this] {
            refreshPending_ = false;
            refresh();
        },
        Qt::QueuedConnection);
}

void QtStatusItemPeer::refresh() {
    icon_.setIcon(iconFor(item_.image()));
    icon_.setToolTip(QString::fromStdString(item_.toolTip()));
    rebuildMenu();
}

void QtStatusItemPeer::rebuildMenu() {
    menu_.clear();
    const MenuRef& menu = item_.menu();
    if (!menu) return;
    for (const MenuItem& entry : menu->items()) {
        if (entry.isSeparator()) {
            menu_.addSeparator();
            continue;
        }
        QAction* action = menu_.addAction(QString::fromStdString(entry.title));
        auto run = entry.action;
        action->setEnabled(static_cast<bool>(run));
        QObject::connect(action, &QAction::triggered, [run] {
            if (run) run(nullptr);
        });
    }
}

}  // namespace platform::desktop
