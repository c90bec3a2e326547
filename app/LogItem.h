#pragma once

#include "platform/foundation/Notification.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"
#include "platform/ui/Image.h"

#include <functional>
#include <optional>
#include <string>

// One entry of the event log: when it happened, what happened, and an icon
// or the photo taken at that moment. Always owned through shared pointers.
class LogItem : public platform::Object {
public:
    LogItem() = default;
    ~LogItem() override;

    // The event's time stamp (a date value); null when the event had none.
    platform::Value date() const;
    void setDate(const platform::Value& date);
    std::string message() const;
    void setMessage(const std::string& message);
    platform::ImageRef image() const;
    void setImage(const platform::ImageRef& image);
    // The wrong password as typed, for the wrong-password events only.
    std::optional<std::string> invalidPassword() const;
    void setInvalidPassword(const std::optional<std::string>& password);

    // The locale's date and time of `date`; empty without a date.
    std::string dateAsString() const;
    std::string timeAsString() const;

    // Waits for the photo of this entry's event (matched by time stamp).
    void observePhotoReady();
    void photoReady(const platform::NotificationRef& notification);

    // Told on the changing thread after the message or the image changed, so
    // that whatever shows the entry can refresh it.
    void setChangeHandler(std::function<void()> handler);

private:
    void notifyChange();

    platform::Value date_;
    std::string message_;
    platform::ImageRef image_;
    std::optional<std::string> invalidPassword_;
    std::function<void()> changeHandler_;
};
