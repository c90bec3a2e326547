#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <set>
#include <string>

class QDBusServiceWatcher;

namespace platform::desktop {

// logind's view of this session: its Lock and Unlock signals (what
// "loginctl lock-session" and "unlock-session" send) and the session's
// locked hint. Only signals that logind itself sends for this process's
// session count; another session's, or anyone else's on the system bus, are
// ignored. Without logind (or while it restarts) nothing arrives, which is
// said once in the log; the hint is sent again when logind is back.
class LogindSessionLock final : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    struct Requests {
        std::function<void()> lock;
        std::function<void()> unlock;
    };

    LogindSessionLock();
    ~LogindSessionLock() override;
    void start(Requests requests);
    void stop();
    void setLockedHint(bool locked);

public Q_SLOTS:
    void onLock();
    void onUnlock();

private:
    enum class Problem { NoSystemBus, NoLogind, NoSession, HintRefused, Gone };
    void logOnce(Problem problem, const std::string& message);
    void askForOwner();
    void ownerChanged(const QString& newOwner);
    void findSession();
    void sessionFound(const QString& path);
    void listenToSession(bool on);
    void sendLockedHint();
    bool sentByLogind() const;

    Requests requests_;
    bool started_ = false;
    QString logindOwner_;
    QString sessionPath_;
    std::optional<bool> lockedHint_;
    QDBusServiceWatcher* watcher_ = nullptr;
    std::set<Problem> said_;
};

}  // namespace platform::desktop
