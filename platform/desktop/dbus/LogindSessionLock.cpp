#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include "platform/desktop/dbus/LogindSessionLock.h"

#include "platform/foundation/LogSink.h"

#include <cstdlib>
#include <unistd.h>

namespace platform::desktop {

namespace {

const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kLogindSession = QStringLiteral("org.freedesktop.login1.Session");

QDBusConnection systemBus() { return QDBusConnection::systemBus(); }

// Calls `method` without waiting; `done` gets the reply on the main loop.
void callAsync(QObject* context, const QDBusMessage& call, std::function<void(const QDBusMessage&)> done) {
    auto* watcher = new QDBusPendingCallWatcher(systemBus().asyncCall(call), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         done(finished->reply());
                     });
}

}  // namespace

LogindSessionLock::LogindSessionLock() = default;

LogindSessionLock::~LogindSessionLock() { stop(); }

void LogindSessionLock::logOnce(Problem problem, const std::string& message) {
    if (said_.insert(problem).second) LogSink::write("Tarnwick: " + message);
}

void LogindSessionLock::start(Requests requests) {
    requests_ = std::move(requests);
    if (started_) return;
    QDBusConnection bus = systemBus();
    if (!bus.isConnected()) {
        logOnce(Problem::NoSystemBus, "no system bus; logind's lock requests are not observed");
        return;
    }
    started_ = true;
    watcher_ = new QDBusServiceWatcher(kLogindService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) { ownerChanged(newOwner); });
    askForOwner();
}

void LogindSessionLock::stop() {
    if (!started_) return;
    started_ = false;
    listenToSession(false);
    sessionPath_.clear();
    delete watcher_;
    watcher_ = nullptr;
    requests_ = {};
}

void LogindSessionLock::askForOwner() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    call << kLogindService;
    callAsync(this, call, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            ownerChanged(reply.arguments().first().toString());
        else
            logOnce(Problem::NoLogind, "logind is not on the system bus; its lock requests are not observed");
    });
}

void LogindSessionLock::ownerChanged(const QString& newOwner) {
    if (!started_ || newOwner == logindOwner_) return;
    logindOwner_ = newOwner;
    if (newOwner.isEmpty()) {
        logOnce(Problem::Gone, "logind left the system bus; its lock requests are not observed until it is back");
        return;
    }
    // A restarted logind knows nothing of the hint it was given before.
    findSession();
}

void LogindSessionLock::findSession() {
    const char* sessionId = std::getenv("XDG_SESSION_ID");
    QDBusMessage call;
    if (sessionId && *sessionId) {
        call =
            QDBusMessage::createMethodCall(kLogindService, kLogindPath, kLogindManager, QStringLiteral("GetSession"));
        call << QString::fromLocal8Bit(sessionId);
    } else {
        call = QDBusMessage::createMethodCall(kLogindService, kLogindPath, kLogindManager,
                                              QStringLiteral("GetSessionByPID"));
        call << static_cast<uint>(::getpid());
    }
    callAsync(this, call, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            sessionFound(qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path());
        else
            logOnce(Problem::NoSession, "logind knows no session of this process (" +
                                            reply.errorMessage().toStdString() +
                                            "); its lock requests are not observed");
    });
}

void LogindSessionLock::sessionFound(const QString& path) {
    if (!started_ || path.isEmpty()) return;
    if (path != sessionPath_) {
        listenToSession(false);
        sessionPath_ = path;
        listenToSession(true);
    }
    sendLockedHint();
}

// The Lock and Unlock signals of the session at sessionPath_, if any.
void LogindSessionLock::listenToSession(bool on) {
    if (sessionPath_.isEmpty()) return;
    QDBusConnection bus = systemBus();
    const QString lock = QStringLiteral("Lock"), unlock = QStringLiteral("Unlock");
    if (on) {
        bus.connect(kLogindService, sessionPath_, kLogindSession, lock, this, SLOT(onLock()));
        bus.connect(kLogindService, sessionPath_, kLogindSession, unlock, this, SLOT(onUnlock()));
    } else {
        bus.disconnect(kLogindService, sessionPath_, kLogindSession, lock, this, SLOT(onLock()));
        bus.disconnect(kLogindService, sessionPath_, kLogindSession, unlock, this, SLOT(onUnlock()));
    }
}

void LogindSessionLock::setLockedHint(bool locked) {
    lockedHint_ = locked;
    sendLockedHint();
}

void LogindSessionLock::sendLockedHint() {
    if (!started_ || sessionPath_.isEmpty() || !lockedHint_) return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogindService, sessionPath_, kLogindSession, QStringLiteral("SetLockedHint"));
    call << *lockedHint_;
    callAsync(this, call, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage)
            logOnce(Problem::HintRefused,
                    "logind refused the session's locked hint: " + reply.errorMessage().toStdString());
    });
}

bool LogindSessionLock::sentByLogind() const {
    // The bus already delivers only what the owner of logind's name sends;
    // the check stays here so that no other route can make a request of it.
    return calledFromDBus() && !logindOwner_.isEmpty() && message().service() == logindOwner_ &&
           message().path() == sessionPath_;
}

void LogindSessionLock::onLock() {
    if (sentByLogind() && requests_.lock) requests_.lock();
}

void LogindSessionLock::onUnlock() {
    if (sentByLogind() && requests_.unlock) requests_.unlock();
}

}  // namespace platform::desktop
