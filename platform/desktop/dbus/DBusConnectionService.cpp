#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "platform/desktop/dbus/DBusConnectionService.h"

#include <stdexcept>

namespace platform::desktop {

namespace {

constexpr int kQuitTimeoutMilliseconds = 5000;

class DBusConnection final : public Connection {
public:
    ~DBusConnection() override { invalidate(); }

    bool registerName(const std::string& name, ConnectionRoot* root) override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected() || valid_) return false;
        adaptor_ = std::make_unique<DBusConnectionAdaptor>(root);
        const QString service = QString::fromStdString(name);
        if (!bus.registerObject(QString::fromLatin1(DBusConnectionService::kPath), adaptor_.get(),
                                QDBusConnection::ExportAllSlots)) {
            adaptor_.reset();
            return false;
        }
        if (!bus.registerService(service)) {
            bus.unregisterObject(QString::fromLatin1(DBusConnectionService::kPath));
            adaptor_.reset();
            return false;
        }
        name_ = service;
        valid_ = true;
        return true;
    }

    void invalidate() override {
        if (!valid_) return;
        valid_ = false;
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(name_);
        bus.unregisterObject(QString::fromLatin1(DBusConnectionService::kPath));
        adaptor_->detach();
        adaptor_.release()->deleteLater();
    }

    bool isValid() const override { return valid_; }

private:
    std::unique_ptr<DBusConnectionAdaptor> adaptor_;
    QString name_;
    bool valid_ = false;
};

class DBusRemoteRoot final : public RemoteRoot {
public:
    explicit DBusRemoteRoot(QString service) : service_(std::move(service)) {}

    void quit() override {
        QDBusMessage call = QDBusMessage::createMethodCall(service_, QString::fromLatin1(DBusConnectionService::kPath),
                                                           QString::fromLatin1(DBusConnectionService::kInterface),
                                                           QStringLiteral("quit"));
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kQuitTimeoutMilliseconds);
        if (reply.type() == QDBusMessage::ErrorMessage)
            throw std::runtime_error("quit could not be delivered: " + reply.errorMessage().toStdString());
    }

private:
    QString service_;
};

}  // namespace

void DBusConnectionAdaptor::quit() {
    if (root_) root_->quit();
}

std::unique_ptr<Connection> DBusConnectionService::makeConnection() { return std::make_unique<DBusConnection>(); }

std::unique_ptr<RemoteRoot> DBusConnectionService::lookup(const std::string& name) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return nullptr;
    const QString service = QString::fromStdString(name);
    if (!bus.interface()->isServiceRegistered(service).value()) return nullptr;
    return std::make_unique<DBusRemoteRoot>(service);
}

}  // namespace platform::desktop
