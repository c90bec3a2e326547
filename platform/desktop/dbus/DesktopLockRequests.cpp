#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include "platform/desktop/dbus/DesktopLockRequests.h"
#include "platform/desktop/x11/X11ScreenSaverActivation.h"

#include "platform/foundation/LogSink.h"
#include "shared/PreferencesContract.h"

namespace platform::desktop {

namespace {

const char* const kObjectPaths[] = {"/org/freedesktop/ScreenSaver", "/ScreenSaver"};

QString errorName(Inhibitions::Refusal refusal) {
    using Refusal = Inhibitions::Refusal;
    switch (refusal) {
        case Refusal::TooManyForCaller:
        case Refusal::TooManyInTotal: return QStringLiteral("org.freedesktop.DBus.Error.LimitsExceeded");
        case Refusal::NotTheOwner: return QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");
        default: return QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    }
}

// Text longer than any inhibition may carry is refused without being
// converted as a whole: its first 4097 characters are already too long.
std::string boundedUtf8(const QString& text) {
    return text.left(static_cast<qsizetype>(Inhibitions::kMaximumTextBytes) + 1).toStdString();
}

}  // namespace

void ScreenSaverAdaptor::Lock() { owner_.session().lock(); }

void TarnwickControlAdaptor::ShowLog() { owner_.session().showLog(); }

void ScreenSaverAdaptor::SimulateUserActivity() { owner_.session().simulateUserActivity(); }

bool ScreenSaverAdaptor::GetActive() { return owner_.session().isActive(); }

uint ScreenSaverAdaptor::GetActiveTime() { return owner_.session().activeSeconds(); }

bool ScreenSaverAdaptor::SetActive(bool active) {
    if (!active) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Only the password unlocks the screen"));
        return false;
    }
    owner_.session().lock();
    return true;
}

uint ScreenSaverAdaptor::Inhibit(const QString& application, const QString& reason) {
    const QString caller = message().service();
    const auto result = owner_.session().inhibit(caller.toStdString(), boundedUtf8(application), boundedUtf8(reason));
    if (const auto* refusal = std::get_if<Inhibitions::Refusal>(&result)) {
        sendErrorReply(errorName(*refusal), QString::fromUtf8(Inhibitions::describe(*refusal)));
        return 0;
    }
    owner_.inhibitionTaken(caller);
    return std::get<std::uint32_t>(result);
}

void ScreenSaverAdaptor::UnInhibit(uint cookie) {
    const QString caller = message().service();
    if (const auto refusal = owner_.session().uninhibit(caller.toStdString(), cookie)) {
        sendErrorReply(errorName(*refusal), QString::fromUtf8(Inhibitions::describe(*refusal)));
        return;
    }
    owner_.inhibitionsMaybeEnded(caller);
}

DesktopLockRequests::DesktopLockRequests(X11Session* x11) : x11_(x11) {}

DesktopLockRequests::~DesktopLockRequests() { stop(); }

void DesktopLockRequests::start(Handlers handlers) {
    if (session_.isStarted()) return;
    session_.start(std::move(handlers));
    exportObjects();
    logind_.start({[this] { session_.lock(); }, [this] { session_.loginManagerUnlock(); }});
    if (x11_) screenSaverActivation_ = std::make_unique<X11ScreenSaverActivation>(*x11_, [this] { session_.lock(); });
}

void DesktopLockRequests::stop() {
    if (!session_.isStarted()) return;
    logind_.stop();
    screenSaverActivation_.reset();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (ownsServiceName_) bus.unregisterService(QString::fromLatin1(kServiceName));
    ownsServiceName_ = false;
    for (const char* path : kObjectPaths) bus.unregisterObject(QString::fromLatin1(path));
    adaptors_.clear();
    if (control_) bus.unregisterObject(QString::fromLatin1(TarnwickControlAdaptor::kObjectPath));
    control_.reset();
    delete callers_;
    callers_ = nullptr;
    session_.stop();
}

void DesktopLockRequests::exportObjects() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        LogSink::write("Tarnwick: no session bus; other programs cannot ask for a lock or keep the screen awake");
        return;
    }
    callers_ = new QDBusServiceWatcher(QString(), bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(callers_, &QDBusServiceWatcher::serviceUnregistered, this,
            [this](const QString& name) { callerLeft(name); });
    for (const char* path : kObjectPaths) {
        auto adaptor = std::make_unique<ScreenSaverAdaptor>(*this);
        if (bus.registerObject(QString::fromLatin1(path), adaptor.get(),
                               QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals))
            adaptors_.push_back(std::move(adaptor));
        else
            LogSink::write(std::string("Tarnwick: cannot export the screen saver interface at ") + path);
    }
    control_ = std::make_unique<TarnwickControlAdaptor>(*this);
    if (!bus.registerObject(QString::fromLatin1(TarnwickControlAdaptor::kObjectPath), control_.get(),
                            QDBusConnection::ExportAllSlots)) {
        LogSink::write("Tarnwick: cannot export the command line's interface; tarnwick-ctl log does nothing");
        control_.reset();
    }
    claimServiceName();
}

void DesktopLockRequests::claimServiceName() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus) return;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus->registerService(QString::fromLatin1(kServiceName), QDBusConnectionInterface::DontQueueService,
                             QDBusConnectionInterface::DontAllowReplacement);
    ownsServiceName_ = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    if (!ownsServiceName_)
        LogSink::write(std::string("Tarnwick: ") + kServiceName +
                       " is held by another program; Tarnwick answers its requests only under its own name " +
                       kBundleName);
}

void DesktopLockRequests::lockStateChanged(bool locked) {
    if (!session_.setLocked(locked)) return;
    for (const auto& adaptor : adaptors_) Q_EMIT adaptor->ActiveChanged(locked);
    logind_.setLockedHint(locked);
}

void DesktopLockRequests::inhibitionTaken(const QString& caller) {
    if (!callers_ || callers_->watchedServices().contains(caller)) return;
    callers_->addWatchedService(caller);
    // A caller that left before the watch was in place is seen by asking.
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    call << caller;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, caller](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<bool> reply = *finished;
        if (reply.isValid() && !reply.value()) callerLeft(caller);
    });
}

void DesktopLockRequests::inhibitionsMaybeEnded(const QString& caller) {
    if (callers_ && session_.inhibitionsOf(caller.toStdString()) == 0) callers_->removeWatchedService(caller);
}

void DesktopLockRequests::callerLeft(const QString& caller) {
    session_.callerLeft(caller.toStdString());
    if (callers_) callers_->removeWatchedService(caller);
}

}  // namespace platform::desktop
