#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QStandardPaths>
#include <QTimer>

#include "platform/desktop/dbus/DesktopWorkspace.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/LogSink.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Task.h"

#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace platform::desktop {

namespace {

const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool launch(const std::string& program, std::vector<std::string> arguments) {
    Task task(program, std::move(arguments));
    return task.launchDetached();
}

Workspace::ApplicationExit exitOf(int waitStatus) {
    Workspace::ApplicationExit exit;
    if (WIFSIGNALED(waitStatus))
        exit.signal = WTERMSIG(waitStatus);
    else if (WIFEXITED(waitStatus))
        exit.status = WEXITSTATUS(waitStatus);
    return exit;
}

std::string inPath(const std::string& program) {
    return QStandardPaths::findExecutable(QString::fromStdString(program)).toStdString();
}

}  // namespace

DesktopWorkspace::DesktopWorkspace() = default;

DesktopWorkspace::~DesktopWorkspace() {
    std::lock_guard<std::mutex> guard(liveness_->lock);
    liveness_->alive = false;
}

std::string DesktopWorkspace::settingsHost() {
    if (const char* configured = std::getenv("TARNWICK_SETTINGS_HOST"); configured && *configured) return configured;
    // Beside the pane bundle that carries this application (a build tree or
    // an install prefix's share folder), then on the PATH.
    const std::string app = Bundle::main().path();
    const std::string pane = paths::deletingLastComponent(app);
    for (const std::string& folder :
         {paths::deletingLastComponent(pane),
          paths::appendComponent(
              paths::deletingLastComponent(paths::deletingLastComponent(paths::deletingLastComponent(pane))), "bin")}) {
        std::string candidate = paths::appendComponent(folder, "tarnwick-settings");
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return inPath("tarnwick-settings");
}

bool DesktopWorkspace::openFile(const std::string& path, const std::string& application) {
    if (!FileManager::fileExists(path)) return false;
    // The application may be named as on the system it was written for
    // ("Preview" for pictures): one that is not a program here leaves the
    // choice to the desktop's default for the file's type.
    if (!application.empty()) {
        const std::string program = application.find('/') != std::string::npos ? application : inPath(application);
        if (!program.empty() && ::access(program.c_str(), X_OK) == 0) return launch(program, {path});
    }
    if (endsWith(path, ".prefPane")) {
        const std::string host = settingsHost();
        if (host.empty()) {
            LogSink::write("Tarnwick: no settings host (tarnwick-settings) to open " + path);
            return false;
        }
        return launch(host, {path});
    }
    if (endsWith(path, ".app")) return launchApplication(path, {});
    const std::string opener = inPath("xdg-open");
    return !opener.empty() && launch(opener, {path});
}

bool DesktopWorkspace::launchApplication(const std::string& path, ExitObserver exited) {
    const auto info = Bundle::readInfoPlist(path);
    std::string executable;
    if (info) {
        auto it = info->find("CFBundleExecutable");
        if (it != info->end()) executable = it->second.stringValue();
    }
    if (executable.empty()) executable = paths::lastComponent(path).substr(0, paths::lastComponent(path).rfind('.'));
    const std::string program = path + "/Contents/MacOS/" + executable;
    if (!FileManager::fileExists(program)) return false;
    if (!exited) return launch(program, {});
    Task task(program, {});
    return task.launchDetached([liveness = liveness_, loop = &RunLoop::main(), exited](int waitStatus) {
        std::lock_guard<std::mutex> guard(liveness->lock);
        if (liveness->alive) loop->performOnMainThread([exited, exit = exitOf(waitStatus)] { exited(exit); }, false);
    });
}

void DesktopWorkspace::observeSleep(const void* owner, Observer willSleep, Observer didWake) {
    observers_[owner] = {std::move(willSleep), std::move(didWake)};
    watchLogind();
}

void DesktopWorkspace::removeSleepObserver(const void* owner) {
    observers_.erase(owner);
    if (observers_.empty()) inhibitor_ = QDBusUnixFileDescriptor();
}

void DesktopWorkspace::watchLogind() {
    if (watching_) {
        if (!inhibitor_.isValid()) takeInhibitor();
        return;
    }
    watching_ = true;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !bus.connect(kLogindService, kLogindPath, kLogindManager,
                                           QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)))) {
        LogSink::write("Tarnwick: no system bus; sleep and wake are not observed");
        return;
    }
    takeInhibitor();
}

void DesktopWorkspace::takeInhibitor() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogindService, kLogindPath, kLogindManager, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Tarnwick") << QStringLiteral("Locking the screen before sleep")
         << QStringLiteral("delay");
    const QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(call);
    if (reply.isValid())
        inhibitor_ = reply.value();
    else
        LogSink::write("Tarnwick: logind refused the sleep inhibitor: " + reply.error().message().toStdString());
}

void DesktopWorkspace::onPrepareForSleep(bool start) {
    if (start) {
        // logind's own delay (InhibitDelayMaxUSec, 5 s unless configured);
        // past it the machine sleeps whatever holds it back.
        constexpr int kLogindDelayMilliseconds = 5000;
        sleepPending_ = true;
        if (!sleepDelay_) {
            sleepDelay_ = new QTimer(this);
            sleepDelay_->setSingleShot(true);
            QObject::connect(sleepDelay_, &QTimer::timeout, this, [this] { sleepMayProceed(); });
        }
        sleepDelay_->start(kLogindDelayMilliseconds);
    } else {
        sleepPending_ = false;
        if (sleepDelay_) sleepDelay_->stop();
    }
    std::vector<Observer> toCall;
    for (const auto& [owner, pair] : observers_) toCall.push_back(start ? pair.first : pair.second);
    for (const Observer& observer : toCall)
        if (observer) observer();
    if (!start) takeInhibitor();
}

void DesktopWorkspace::sleepMayProceed() {
    if (!sleepPending_) return;
    sleepPending_ = false;
    if (sleepDelay_) sleepDelay_->stop();
    releaseInhibitorWhenDrawn();
}

void DesktopWorkspace::releaseInhibitorWhenDrawn() {
    // The observers mapped the lock window; let the pending paint and the X
    // requests reach the server before the machine may go down.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QTimer::singleShot(100, this, [this] { inhibitor_ = QDBusUnixFileDescriptor(); });
}

}  // namespace platform::desktop
