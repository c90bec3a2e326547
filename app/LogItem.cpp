#include "app/LogItem.h"

#include "platform/foundation/RunLoop.h"
#include "shared/TarnwickConstants.h"

#include <mutex>

using platform::NotificationCenter;

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

}  // namespace

LogItem::~LogItem() { NotificationCenter::defaultCenter().removeObserver(this); }

platform::Value LogItem::date() const {
    Guard guard(objectLock());
    return date_;
}

void LogItem::setDate(const platform::Value& date) {
    Guard guard(objectLock());
    date_ = date;
}

std::string LogItem::message() const {
    Guard guard(objectLock());
    return message_;
}

void LogItem::setMessage(const std::string& message) {
    {
        Guard guard(objectLock());
        message_ = message;
    }
    notifyChange();
}

platform::ImageRef LogItem::image() const {
    Guard guard(objectLock());
    return image_;
}

void LogItem::setImage(const platform::ImageRef& image) {
    {
        Guard guard(objectLock());
        image_ = image;
    }
    notifyChange();
}

std::optional<std::string> LogItem::invalidPassword() const {
    Guard guard(objectLock());
    return invalidPassword_;
}

void LogItem::setInvalidPassword(const std::optional<std::string>& password) {
    Guard guard(objectLock());
    invalidPassword_ = password;
}

std::string LogItem::dateAsString() const {
    const platform::Value stamp = date();
    return stamp.isDate() ? stamp.dateValue().format("%x") : std::string();
}

std::string LogItem::timeAsString() const {
    const platform::Value stamp = date();
    return stamp.isDate() ? stamp.dateValue().format("%X") : std::string();
}

void LogItem::setChangeHandler(std::function<void()> handler) {
    Guard guard(objectLock());
    changeHandler_ = std::move(handler);
}

void LogItem::notifyChange() {
    std::function<void()> handler;
    {
        Guard guard(objectLock());
        handler = changeHandler_;
    }
    if (handler) handler();
}

void LogItem::observePhotoReady() {
    // The photo arrives on the camera's thread. The delivery holds its own
    // reference, so the entry cannot be destroyed half-way through it, and
    // an entry already gone is simply skipped.
    std::weak_ptr<platform::Object> weakSelf = weak_from_this();
    NotificationCenter::defaultCenter().addObserver(
        this, kPhotoReadyNotification, {}, [weakSelf](const platform::NotificationRef& notification) {
            if (auto self = std::static_pointer_cast<LogItem>(weakSelf.lock())) self->photoReady(notification);
        });
}

void LogItem::photoReady(const platform::NotificationRef& notification) {
    if (notification->name().rfind(kBundleName, 0) != 0) return;
    const platform::Value stamp = date();
    // An entry without a date can never be matched to a photo.
    if (!stamp.isDate() || !(notification->userInfoValue("timestamp") == stamp)) return;

    const platform::ImageRef photo = notification->userInfoValue("image").objectAs<platform::Image>();
    platform::RunLoop::main().performOnMainThread([this, photo] { setImage(photo); }, true);
    NotificationCenter::defaultCenter().removeObserver(this);
}
