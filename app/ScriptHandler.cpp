#include "app/ScriptHandler.h"

#include "platform/foundation/Defaults.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Task.h"
#include "platform/foundation/Thread.h"
#include "platform/ui/Image.h"
#include "shared/QMASL.h"
#include "shared/ScriptDetails.h"
#include "shared/TarnwickConstants.h"
#include "shared/TarnwickEvents.h"

#include <algorithm>
#include <utility>

namespace {

constexpr const char* kTimestampPlaceholder = "#TIMESTAMP#";
constexpr const char* kImagePlaceholder = "#IMAGE#";
constexpr const char* kAppleScriptRunner = "/usr/bin/osascript ";

// Replaces from left to right; an inserted text is never searched again, so a
// replacement that itself holds the placeholder stays as it is.
std::string replacingOccurrences(const std::string& text, const std::string& placeholder,
                                 const std::string& replacement) {
    std::string result;
    std::size_t from = 0;
    for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, from)) {
        result.append(text, from, at - from);
        result += replacement;
        from = at + placeholder.size();
    }
    result.append(text, from, std::string::npos);
    return result;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// One shell word: inside single quotes everything is literal except the
// quote itself, which is closed, escaped and reopened. A path stored already
// quoted as a whole (how a blank had to be written before) stays as it is.
std::string shellWord(const std::string& path) {
    const bool quotedByTheUser =
        path.size() >= 2 && (path.front() == '\'' || path.front() == '"') && path.back() == path.front();
    if (quotedByTheUser) return path;
    std::string quoted = "'";
    for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool isAppleScript(const std::string& path) { return endsWith(path, ".scpt") || endsWith(path, ".applescript"); }

void writePhoto(const platform::Value& image, const std::string& path) {
    auto photo = image.objectAs<platform::Image>();
    if (!photo) return;
    // An image without pixels has no TIFF; an empty file would only pass for a photo.
    const platform::Data tiff = photo->tiffRepresentation();
    if (!tiff.empty()) platform::FileManager::writeAtomically(path, tiff);
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) {
        if (!text.empty()) text += ' ';
        text += part;
    }
    return text;
}

}  // namespace

ScriptHandler::ScriptHandler() : ScriptHandler(nullptr) {}

ScriptHandler::ScriptHandler(TarnwickDelegate* delegate) : delegate_(delegate) {
    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(this, "", {}, [this](const platform::NotificationRef& n) { incomingEvent(n); });
    center.addObserver(this, kPhotoReadyNotification, {},
                       [this](const platform::NotificationRef& n) { photoReady(n); });
}

ScriptHandler::~ScriptHandler() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

std::size_t ScriptHandler::pendingScriptCount() const {
    std::lock_guard<std::mutex> guard(scriptsToExecuteLock_);
    return scriptsToExecute_.size();
}

bool ScriptHandler::photoWillFollow(const std::string& scriptKey, const platform::Value& timestamp) const {
    const platform::Defaults& defaults = platform::Defaults::standard();
    if (!defaults.boolForKey(photoKey(scriptKey))) return false;
    // No camera, a sleeping computer or an event without time stamp: no photo
    // can ever come, and the script would wait for the rest of the process.
    if (defaults.stringForKey(kPrefVideoCaptureDevice).empty()) return false;
    if (delegate_ && delegate_->sleeping()) return false;
    return timestamp.isDate();
}

void ScriptHandler::incomingEvent(const platform::NotificationRef& notification) {
    const TarnwickEvent* event = tarnwickEventNamed(notification->name());
    if (!event) return;
    QMLog(7, "ScriptHandler got event %@", notification->name());

    const platform::Defaults& defaults = platform::Defaults::standard();
    const std::string scriptKey = actionKey(event->prefix, kActionScript);
    if (!defaults.boolForKey(scriptKey)) {
        QMLog(7, "No script configured for event %@", notification->name());
        return;
    }

    platform::Dictionary request{
        {"timestamp", notification->userInfoValue("timestamp")},
        {"script", defaults.stringForKey(detailsKey(scriptKey))},
        {"event", notification->name()},
    };
    if (photoWillFollow(scriptKey, request["timestamp"])) {
        QMLog(7, "Delaying script execution until photo is ready");
        std::lock_guard<std::mutex> guard(scriptsToExecuteLock_);
        scriptsToExecute_.push_back(std::move(request));
        return;
    }
    QMLog(7, "Executing: %@", platform::Value(request));
    executeInBackground(std::move(request));
}

void ScriptHandler::photoReady(const platform::NotificationRef& notification) {
    QMLog(7, "ScriptHandler got event %@", notification->name());
    const platform::Value& timestamp = notification->userInfoValue("timestamp");
    platform::Dictionary released;
    {
        std::lock_guard<std::mutex> guard(scriptsToExecuteLock_);
        auto waiting =
            std::find_if(scriptsToExecute_.begin(), scriptsToExecute_.end(),
                         [&](const platform::Dictionary& request) { return request.at("timestamp") == timestamp; });
        if (waiting == scriptsToExecute_.end()) return;
        released = std::move(*waiting);
        scriptsToExecute_.erase(waiting);
    }
    released["image"] = notification->userInfoValue("image");
    executeInBackground(std::move(released));
}

void ScriptHandler::executeInBackground(platform::Dictionary request) {
    runsUnderWay_->fetch_add(1);
    platform::Thread::detach([request = std::move(request), underWay = runsUnderWay_]() mutable {
        executeScript(std::move(request));
        underWay->fetch_sub(1);
    });
}

void ScriptHandler::executeScript(platform::Dictionary request) {
    const platform::Defaults& defaults = platform::Defaults::standard();
    auto [scriptPath, arguments] = splitScriptDetails(request["script"].stringValue());
    const std::string event = request["event"].stringValue();
    if (scriptPath.empty()) {
        QMLog(3, "No script file set for event %@; nothing executed", event);
        return;
    }

    const std::string stamp = request["timestamp"].dateValue().format(kPhotoTimestampFormat);
    arguments = replacingOccurrences(arguments, kTimestampPlaceholder, stamp);

    if (arguments.find(kImagePlaceholder) != std::string::npos) {
        // The same folder the photographer saves into, a hand-written "~" included.
        const std::string folder = platform::paths::expandTilde(defaults.stringForKey(kPrefSaveImagesPath));
        const std::string photoPath = platform::paths::appendComponent(folder, stamp + ".tiff");
        if (!defaults.boolForKey(kPrefSaveImagesImmediately)) writePhoto(request["image"], photoPath);
        arguments = replacingOccurrences(arguments, kImagePlaceholder, photoPath);
    }

    // The path is one word whatever it holds; the arguments keep their
    // meaning to the shell, as the user wrote them.
    const std::string commandLine =
        (isAppleScript(scriptPath) ? kAppleScriptRunner : "") + shellWord(scriptPath) + " " + arguments;
    platform::Task task("/bin/sh", {"-c", commandLine});
    QMLog(7, "Executing for event %@: /bin/sh %@", event, joined(task.arguments()));
    if (!task.launchDetached()) QMLog(3, "Could not start /bin/sh for event %@", event);
}
