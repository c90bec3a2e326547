#include <gtest/gtest.h>

#include "desktop/PrivateDisplay.h"
#include "desktop/QtWidgetTesting.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>

#include "QtTestApplication.h"
#include "platform/desktop/dbus/DesktopLockRequests.h"
#include "platform/foundation/LogSink.h"

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

// org.freedesktop.ScreenSaver on a private session bus (tests/e2e/with_xvfb.py
// starts one); other programs are played by connections of their own.

using platform::desktop::DesktopLockRequests;

namespace {

// Another program of the session, on a connection of its own.
class Program {
public:
    explicit Program(const QString& name)
        : name_(name), bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)) {}
    ~Program() { leave(); }
    void leave() {
        if (left_) return;
        left_ = true;
        // The socket closes with the last reference to the connection.
        bus_ = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(name_);
    }
    QString uniqueName() const { return bus_.baseService(); }
    QDBusConnection& bus() { return bus_; }

    // The service runs in this thread: the call waits in a local event loop.
    QDBusMessage call(const QString& method, const QVariantList& arguments = {},
                      const QString& path = QStringLiteral("/org/freedesktop/ScreenSaver"),
                      const QString& destination = QString()) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            destination.isEmpty() ? QDBusConnection::sessionBus().baseService() : destination, path,
            QStringLiteral("org.freedesktop.ScreenSaver"), method);
        message.setArguments(arguments);
        return bus_.call(message, QDBus::BlockWithGui, 5000);
    }

private:
    QString name_;
    QDBusConnection bus_;
    bool left_ = false;
};

class ActiveChangedListener : public QObject {
    Q_OBJECT
public:
    std::vector<bool> heard;
public Q_SLOTS:
    void activeChanged(bool active) { heard.push_back(active); }
};

class DBusScreenSaverTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!havePrivateBus()) GTEST_SKIP() << "needs a private session bus (tests/e2e/with_xvfb.py provides one)";
        qtTestApplication();
        platform::LogSink::setCapture([this](const std::string& line) { log.push_back(line); });
        handlers.lock = [this] { ++locks; };
        handlers.showPasswordPrompt = [this] { ++prompts; };
        handlers.userActivity = [this] { ++activity; };
        handlers.inhibitionsEnded = [this] { ++ended; };
    }
    void TearDown() override {
        service.reset();
        platform::LogSink::setCapture(nullptr);
    }
    void start() {
        service = std::make_unique<DesktopLockRequests>();
        service->start(handlers);
    }
    bool logged(const std::string& text) const {
        for (const std::string& line : log)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    platform::LockRequests::Handlers handlers;
    std::unique_ptr<DesktopLockRequests> service;
    std::vector<std::string> log;
    int locks = 0, prompts = 0, activity = 0, ended = 0;
};

TEST_F(DBusScreenSaverTest, LockAsksAndGetActiveAndActiveChangedFollowTheAnnouncedState) {
    start();
    Program player(QStringLiteral("player"));
    ActiveChangedListener listener;
    for (const char* path : {"/org/freedesktop/ScreenSaver", "/ScreenSaver"})
        ASSERT_TRUE(player.bus().connect(QString(), QString::fromLatin1(path),
                                         QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"),
                                         &listener, SLOT(activeChanged(bool))));
    const QString wellKnown = QString::fromLatin1(DesktopLockRequests::kServiceName);
    EXPECT_EQ(player.bus().interface()->serviceOwner(wellKnown).value(), QDBusConnection::sessionBus().baseService());

    EXPECT_EQ(player.call(QStringLiteral("Lock"), {}, QStringLiteral("/ScreenSaver"), wellKnown).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(locks, 1);
    EXPECT_EQ(player.call(QStringLiteral("GetActive")).arguments().value(0).toBool(), false)
        << "locked only once the application says so";

    service->lockStateChanged(true);
    service->lockStateChanged(true);
    EXPECT_TRUE(processEventsUntil([&] { return listener.heard.size() >= 2; }, 3000));
    EXPECT_EQ(player.call(QStringLiteral("GetActive")).arguments().value(0).toBool(), true);
    EXPECT_EQ(player.call(QStringLiteral("SetActive"), {true}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(locks, 2);

    const QDBusMessage refused = player.call(QStringLiteral("SetActive"), {false});
    EXPECT_EQ(refused.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(refused.errorName(), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"));
    EXPECT_EQ(player.call(QStringLiteral("SimulateUserActivity")).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(activity, 1);
    EXPECT_EQ(player.call(QStringLiteral("GetActive")).arguments().value(0).toBool(), true)
        << "nothing on the bus unlocks";

    service->lockStateChanged(false);
    EXPECT_TRUE(processEventsUntil([&] { return listener.heard.size() >= 4; }, 3000));
    EXPECT_EQ(listener.heard, (std::vector<bool>{true, true, false, false})) << "once per path and change";
    EXPECT_EQ(player.call(QStringLiteral("GetActiveTime")).arguments().value(0).toUInt(), 0u);
}

TEST_F(DBusScreenSaverTest, InhibitionsBelongToTheirCallerAndEndWhenItLeavesTheBus) {
    start();
    Program player(QStringLiteral("player")), other(QStringLiteral("other"));
    const QDBusMessage taken = player.call(QStringLiteral("Inhibit"), {QStringLiteral("mpv"), QStringLiteral("film")});
    ASSERT_EQ(taken.type(), QDBusMessage::ReplyMessage) << taken.errorMessage().toStdString();
    const uint cookie = taken.arguments().value(0).toUInt();
    EXPECT_EQ(service->inhibitingApplication(), "mpv");

    const struct {
        const char* what;
        QVariantList arguments;
        const char* method;
        const char* error;
    } refusals[] = {
        {"another caller's cookie", {cookie}, "UnInhibit", "org.freedesktop.DBus.Error.AccessDenied"},
        {"an unknown cookie", {cookie + 1000}, "UnInhibit", "org.freedesktop.DBus.Error.InvalidArgs"},
        {"a 1 MB application name",
         {QString(1 << 20, QLatin1Char('a')), QStringLiteral("r")},
         "Inhibit",
         "org.freedesktop.DBus.Error.InvalidArgs"},
    };
    for (const auto& r : refusals) {
        const QDBusMessage reply = other.call(QString::fromLatin1(r.method), r.arguments);
        EXPECT_EQ(reply.errorName().toStdString(), r.error) << r.what;
    }
    EXPECT_EQ(service->inhibitingApplication(), "mpv");

    player.leave();
    EXPECT_TRUE(processEventsUntil([&] { return !service->inhibitingApplication(); }, 3000))
        << "the player left the bus";
    EXPECT_EQ(ended, 1);
}

TEST_F(DBusScreenSaverTest, AnotherLockersNameIsLeftAloneAndSaidInTheLog) {
    Program locker(QStringLiteral("locker"));
    ASSERT_TRUE(locker.bus().registerService(QString::fromLatin1(DesktopLockRequests::kServiceName)));
    start();
    EXPECT_TRUE(logged("org.freedesktop.ScreenSaver is held by another program"));
    EXPECT_EQ(locker.bus().interface()->serviceOwner(QString::fromLatin1(DesktopLockRequests::kServiceName)).value(),
              locker.uniqueName());
    Program player(QStringLiteral("player"));
    EXPECT_EQ(player.call(QStringLiteral("Lock")).type(), QDBusMessage::ReplyMessage) << "reachable by its own name";
    EXPECT_EQ(locks, 1);
}

}  // namespace

#include "DBusScreenSaverTest.moc"
