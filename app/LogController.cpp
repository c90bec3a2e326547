#include "app/LogController.h"

#include "app/LogItem.h"
#include "platform/foundation/Defaults.h"
#include "platform/foundation/RunLoop.h"
#include "platform/services/Displays.h"
#include "shared/QMASL.h"
#include "shared/TarnwickConstants.h"
#include "shared/TarnwickEvents.h"

#include <functional>

namespace {

constexpr const char* kClearPasswordMessage = "Invalid password entered: ";
constexpr double kEntryHeight = 42;
constexpr double kWindowChromeHeight = 60;
// Where no display service is installed (a bare test), a common screen.
constexpr platform::Rect kFallbackScreen{0, 0, 1920, 1080};

// Window work belongs to the main thread; events and photos come from any.
void onMainThreadWaiting(std::function<void()> work) {
    platform::RunLoop::main().performOnMainThread(std::move(work), true);
}

platform::ImageRef templateIcon(const char* name) {
    platform::ImageRef icon = platform::Image::named(name);
    if (!icon) {
        // A missing picture still leaves the row with its named icon, which
        // the backend draws as best it can.
        icon = std::make_shared<platform::Image>();
        icon->setName(name);
    }
    icon->setTemplate(true);
    return icon;
}

}  // namespace

LogController::LogController(TarnwickDelegate* delegate) : delegate_(delegate), outlets_(loadLogWindow(*this)) {
    platform::NotificationCenter::defaultCenter().addObserver(
        this, "", {}, [this](const platform::NotificationRef& notification) { incomingEvent(notification); });
}

LogController::~LogController() {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    outlets_.collectionView->bindContent(nullptr);
    outlets_.window->setDelegate(nullptr);
}

platform::Window& LogController::window() { return *outlets_.window; }

std::size_t LogController::logEntryCount() const { return outlets_.logEntriesController->count(); }

bool LogController::photoWillFollow(const std::string& logKey) const {
    const platform::Defaults& defaults = platform::Defaults::standard();
    if (!defaults.boolForKey(photoKey(logKey))) return false;
    if (defaults.stringForKey(kPrefVideoCaptureDevice).empty()) return false;
    return !(delegate_ && delegate_->sleeping());
}

void LogController::incomingEvent(const platform::NotificationRef& notification) {
    const TarnwickEvent* event = tarnwickEventNamed(notification->name());
    if (!event) return;
    if (event->carriesPassword) onMainThreadWaiting([this] { outlets_.showPasswords->setHidden(false); });

    QMLog(7, "LogHandler got event %@", notification->name());
    const std::string logKey = actionKey(event->prefix, kActionLog);
    if (!platform::Defaults::standard().boolForKey(logKey)) return;

    auto entry = std::dynamic_pointer_cast<LogItem>(outlets_.logEntriesController->newObject());
    if (!entry) return;
    entry->setMessage(event->logMessage);
    entry->setDate(notification->userInfoValue("timestamp"));
    const platform::Value& password = notification->userInfoValue("password");
    if (event->carriesPassword && !password.isNull()) entry->setInvalidPassword(password.stringValue());

    if (photoWillFollow(logKey))
        entry->observePhotoReady();
    else
        entry->setImage(templateIcon(event->logIcon));

    onMainThreadWaiting([this, entry] { outlets_.logEntriesController->addObject(entry); });
    onMainThreadWaiting([this] { outlets_.clearButton->setHidden(false); });
}

void LogController::showPasswordsChanged(platform::Button* sender) {
    const int state = sender ? sender->state() : outlets_.showPasswords->state();
    if (state != 0 && state != 1) return;
    for (const auto& entry : logEntries()) {
        const auto password = entry->invalidPassword();
        if (!password) continue;
        entry->setMessage(state == 1 ? kClearPasswordMessage + *password : std::string(kMaskedPasswordMessage));
    }
}

void LogController::reset(platform::Object*) {
    onMainThreadWaiting([this] {
        outlets_.clearButton->setHidden(true);
        outlets_.showPasswords->setHidden(true);
        outlets_.logEntriesController->setContent({});
        outlets_.window->performClose();
    });
}

platform::Rect LogController::mainScreenFrame() const {
    if (platform::Displays::isInstalled()) {
        const auto frames = platform::Displays::shared().screenFrames();
        if (!frames.empty()) return frames.front();
    }
    return kFallbackScreen;
}

void LogController::adjustLogWindow() {
    const platform::Rect screen = mainScreenFrame();
    platform::Rect frame = outlets_.window->frame();
    const double previousHeight = frame.height;
    frame.height = kEntryHeight * static_cast<double>(logEntryCount()) + kWindowChromeHeight;
    frame.x = (screen.width - frame.width) / 2;
    frame.y = screen.height * 3 / 5 - previousHeight / 2;
    outlets_.window->setFrame(frame, true);
    layoutLogWindow(outlets_);
}

bool LogController::windowShouldClose(platform::Window&) {
    platform::NotificationCenter::defaultCenter().post("hidePreviewPanel", platform::Value(weak_from_this().lock()));
    if (delegate_) delegate_->restoreFrontmostApplication();
    return true;
}

void LogController::windowDidBecomeKey(platform::Window&) { outlets_.showPasswords->setState(0); }

std::vector<std::shared_ptr<LogItem>> LogController::logEntries() const {
    std::vector<std::shared_ptr<LogItem>> entries;
    for (const auto& object : outlets_.logEntriesController->arrangedObjects())
        if (auto entry = std::dynamic_pointer_cast<LogItem>(object)) entries.push_back(entry);
    return entries;
}

void LogController::setLogEntries(const std::vector<std::shared_ptr<LogItem>>& entries) {
    onMainThreadWaiting([this, &entries] {
        outlets_.logEntriesController->setContent({entries.begin(), entries.end()});
    });
}

void LogController::setLogEntriesController(const platform::ArrayControllerRef& controller) {
    if (!controller) return;
    onMainThreadWaiting([this, &controller] {
        outlets_.logEntriesController = controller;
        outlets_.collectionView->bindContent(controller);
    });
}
