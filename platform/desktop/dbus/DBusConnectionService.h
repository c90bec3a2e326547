#pragma once

#include <QObject>

#include "platform/services/Channel.h"

namespace platform::desktop {

// The exported root object of a registered connection: a "quit" method on
// the path "/" under the connection's bus name, served on the main loop.
class DBusConnectionAdaptor final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.quillmere.Connection")
public:
    explicit DBusConnectionAdaptor(ConnectionRoot* root) : root_(root) {}
    void detach() { root_ = nullptr; }

public Q_SLOTS:
    void quit();

private:
    ConnectionRoot* root_;
};

// Registered connections as bus names on the session bus.
class DBusConnectionService final : public ConnectionService {
public:
    static constexpr const char* kInterface = "com.quillmere.Connection";
    static constexpr const char* kPath = "/";

    std::unique_ptr<Connection> makeConnection() override;
    std::unique_ptr<RemoteRoot> lookup(const std::string& name) override;
};

}  // namespace platform::desktop
