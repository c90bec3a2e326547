// tarnwick-ctl: the running Tarnwick's control command on the session bus.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "ControlCommand.h"
#include "shared/PreferencesContract.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <pthread.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <variant>
#include <vector>

extern char** environ;

namespace {

// Tarnwick always owns its own name; the freedesktop name may belong to
// another desktop's locker.
const QString kTarnwickName = QString::fromLatin1(kBundleName);
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");
// What no desktop asks, on Tarnwick's own interface.
const QString kControlPath = QStringLiteral("/com/quillmere/Tarnwick");
const QString kControlInterface = QStringLiteral("com.quillmere.Tarnwick");

int exitWith(ExitStatus status) { return static_cast<int>(status); }

int fail(ExitStatus status, const std::string& message) {
    std::fprintf(stderr, "tarnwick-ctl: %s\n", message.c_str());
    return exitWith(status);
}

class RunningTarnwick {
public:
    // The exit status that says why Tarnwick cannot be reached, 0 when it can.
    int reach() {
        if (!bus_.isConnected()) return fail(ExitStatus::NotRunning, "no session bus: Tarnwick is not running here");
        if (!bus_.interface()->isServiceRegistered(kTarnwickName).value())
            return fail(ExitStatus::NotRunning, "Tarnwick is not running");
        return 0;
    }

    // The reply, or the exit status of a failed call.
    std::variant<QDBusMessage, int> call(const QString& method, const QVariantList& arguments = {}) {
        return callOn(kPath, kInterface, method, arguments);
    }

    std::variant<QDBusMessage, int> callOn(const QString& path, const QString& interface, const QString& method,
                                           const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(kTarnwickName, path, interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = bus_.call(message);
        if (reply.type() == QDBusMessage::ReplyMessage) return reply;
        const bool gone = reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
                          reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner");
        return fail(gone ? ExitStatus::NotRunning : ExitStatus::BusFailure,
                    method.toStdString() + " failed: " + reply.errorMessage().toStdString());
    }

private:
    QDBusConnection bus_ = QDBusConnection::sessionBus();
};

int lock(RunningTarnwick& tarnwick) {
    const auto reply = tarnwick.call(QStringLiteral("Lock"));
    return std::holds_alternative<int>(reply) ? std::get<int>(reply) : exitWith(ExitStatus::Success);
}

int showLog(RunningTarnwick& tarnwick) {
    const auto reply = tarnwick.callOn(kControlPath, kControlInterface, QStringLiteral("ShowLog"));
    return std::holds_alternative<int>(reply) ? std::get<int>(reply) : exitWith(ExitStatus::Success);
}

int status(RunningTarnwick& tarnwick) {
    const auto reply = tarnwick.call(QStringLiteral("GetActive"));
    if (std::holds_alternative<int>(reply)) return std::get<int>(reply);
    const QVariantList arguments = std::get<QDBusMessage>(reply).arguments();
    if (arguments.isEmpty() || arguments.first().metaType() != QMetaType::fromType<bool>())
        return fail(ExitStatus::BusFailure, "GetActive gave no answer");
    std::printf("%s\n", arguments.first().toBool() ? "locked" : "unlocked");
    return exitWith(ExitStatus::Success);
}

// The signals that inhibit waits for instead of dying of. Blocked before any
// thread exists (the bus has one), so that every thread leaves them to it.
struct WaitedSignals {
    sigset_t set;
    sigset_t previous;
    WaitedSignals() {
        sigemptyset(&set);
        for (int signal : {SIGCHLD, SIGTERM, SIGHUP, SIGINT, SIGQUIT}) sigaddset(&set, signal);
        pthread_sigmask(SIG_BLOCK, &set, &previous);
    }
};

// Runs the command as the shell does and waits for it: its exit status,
// 128+N when signal N ended it, 127 when it cannot be started. Terminal
// interrupts reach the command directly; a hang-up or termination sent to
// this process is passed on to it.
int runCommand(const std::vector<std::string>& program, const WaitedSignals& waited) {
    const sigset_t& handled = waited.set;
    const sigset_t& previous = waited.previous;

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigmask(&attributes, &previous);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv;
    argv.reserve(program.size() + 1);
    for (const std::string& argument : program) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int error = posix_spawnp(&child, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        return fail(ExitStatus::CannotRun, "cannot run " + program.front() + ": " + std::strerror(error));
    }

    int childStatus = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &childStatus, WNOHANG);
        if (ended == child) break;
        if (ended < 0 && errno != EINTR)
            return fail(ExitStatus::CannotRun, "lost the command: " + std::string(std::strerror(errno)));
        const int signal = sigwaitinfo(&handled, nullptr);
        if (signal == SIGTERM || signal == SIGHUP) kill(child, signal);
    }
    if (WIFEXITED(childStatus)) return WEXITSTATUS(childStatus);
    if (WIFSIGNALED(childStatus)) return 128 + WTERMSIG(childStatus);
    return 1;
}

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int inhibit(RunningTarnwick& tarnwick, const ControlCommand& command, const WaitedSignals& waited) {
    const std::string application = baseName(command.program.front());
    const std::string reason = command.reason.empty() ? "tarnwick-ctl inhibit: " + application : command.reason;
    const auto reply =
        tarnwick.call(QStringLiteral("Inhibit"), {QString::fromStdString(application), QString::fromStdString(reason)});
    if (std::holds_alternative<int>(reply)) return std::get<int>(reply);
    const QVariantList arguments = std::get<QDBusMessage>(reply).arguments();
    if (arguments.isEmpty()) return fail(ExitStatus::BusFailure, "Inhibit gave no cookie");
    const uint cookie = arguments.first().toUInt();

    const int status = runCommand(command.program, waited);
    // Leaving the bus would end the inhibition too; saying so is quicker.
    tarnwick.call(QStringLiteral("UnInhibit"), {cookie});
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = parseControlCommand(arguments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "tarnwick-ctl: %s\n\n%s", problem->c_str(), kControlUsage);
        return exitWith(ExitStatus::Usage);
    }
    const ControlCommand& command = std::get<ControlCommand>(parsed);
    switch (command.kind) {
        case ControlCommand::Kind::Help: std::fputs(kControlUsage, stdout); return exitWith(ExitStatus::Success);
        case ControlCommand::Kind::Version: std::printf("tarnwick-ctl %s\n", TARNWICK_VERSION); return 0;
        default: break;
    }

    std::optional<WaitedSignals> waited;
    if (command.kind == ControlCommand::Kind::Inhibit) waited.emplace();
    QCoreApplication application(argc, argv);
    RunningTarnwick tarnwick;
    if (const int unreachable = tarnwick.reach()) return unreachable;
    switch (command.kind) {
        case ControlCommand::Kind::Lock: return lock(tarnwick);
        case ControlCommand::Kind::ShowLog: return showLog(tarnwick);
        case ControlCommand::Kind::Status: return status(tarnwick);
        default: return inhibit(tarnwick, command, *waited);
    }
}
