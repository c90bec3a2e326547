#pragma once

#include <QObject>
#include <QString>

#include "platform/services/Channel.h"

#include <map>
#include <vector>

namespace platform::desktop {

// Distributed notifications as signals on the session bus: every post is a
// "notification" signal (name, object) of the interface below, and every
// process observing receives it on its main loop, the poster included.
class DBusNotificationCenter final : public QObject, public DistributedNotificationCenter {
    Q_OBJECT
public:
    static constexpr const char* kInterface = "com.quillmere.DistributedNotificationCenter";
    static constexpr const char* kPath = "/com/quillmere/DistributedNotificationCenter";
    static constexpr const char* kMember = "notification";

    DBusNotificationCenter();
    ~DBusNotificationCenter() override;

    void post(const std::string& name, const std::string& object) override;
    void addObserver(const void* owner, const std::string& name, const std::string& object, Callback callback) override;
    void removeObserver(const void* owner) override;

public Q_SLOTS:
    void onNotification(const QString& name, const QString& object);

private:
    struct Observer {
        const void* owner;
        std::string name;
        std::string object;
        Callback callback;
        std::uint64_t serial;
    };
    std::vector<Observer> observers_;
    std::uint64_t nextSerial_ = 1;
    bool connected_ = false;
};

}  // namespace platform::desktop
