#include <QDBusConnection>
#include <QDBusMessage>

#include "platform/desktop/dbus/DBusNotificationCenter.h"

#include "platform/foundation/LogSink.h"
#include "platform/foundation/RunLoop.h"

#include <algorithm>

namespace platform::desktop {

DBusNotificationCenter::DBusNotificationCenter() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    connected_ =
        bus.isConnected() && bus.connect(QString(), QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
                                         QString::fromLatin1(kMember), this, SLOT(onNotification(QString, QString)));
    if (!connected_) LogSink::write("Tarnwick: no session bus; distributed notifications stay in this process");
}

DBusNotificationCenter::~DBusNotificationCenter() = default;

void DBusNotificationCenter::post(const std::string& name, const std::string& object) {
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
                                                     QString::fromLatin1(kMember));
    signal << QString::fromStdString(name) << QString::fromStdString(object);
    if (connected_ && QDBusConnection::sessionBus().send(signal)) return;
    // Without a bus the process still hears itself, on its main loop.
    const QString n = QString::fromStdString(name), o = QString::fromStdString(object);
    QMetaObject::invokeMethod(
        this, [this, n, o] { onNotification(n, o); }, Qt::QueuedConnection);
}

void DBusNotificationCenter::addObserver(const void* owner, const std::string& name, const std::string& object,
                                         Callback callback) {
    observers_.push_back({owner, name, object, std::move(callback), nextSerial_++});
}

void DBusNotificationCenter::removeObserver(const void* owner) {
    observers_.erase(
        std::remove_if(observers_.begin(), observers_.end(), [owner](const Observer& o) { return o.owner == owner; }),
        observers_.end());
}

void DBusNotificationCenter::onNotification(const QString& name, const QString& object) {
    const std::string n = name.toStdString(), o = object.toStdString();
    // Observers may remove themselves (or others) while being told; each
    // one still present is told once.
    std::vector<std::uint64_t> serials;
    for (const Observer& observer : observers_)
        if (observer.name == n && (observer.object.empty() || observer.object == o)) serials.push_back(observer.serial);
    for (std::uint64_t serial : serials) {
        auto it = std::find_if(observers_.begin(), observers_.end(),
                               [serial](const Observer& x) { return x.serial == serial; });
        if (it == observers_.end()) continue;
        Callback callback = it->callback;
        callback(n, o);
    }
}

}  // namespace platform::desktop
