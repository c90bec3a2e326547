#pragma once

#include "app/ApplicationDelegateAccess.h"
#include "app/LogWindowInterface.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/Object.h"
#include "platform/ui/Window.h"

#include <memory>
#include <string>
#include <vector>

class LogItem;

// The event log window: one entry per event of the current lock cycle, with
// its icon or photo, and the typed text of wrong passwords on request.
class LogController : public platform::Object, public platform::WindowDelegate {
public:
    explicit LogController(TarnwickDelegate* delegate);
    ~LogController() override;

    platform::Window& window();
    std::size_t logEntryCount() const;

    // Adds an entry for one of the five events, when its log action is on.
    void incomingEvent(const platform::NotificationRef& notification);
    // Action of the show-passwords checkbox.
    void showPasswordsChanged(platform::Button* sender);
    // Empties the log and closes the window.
    void reset(platform::Object* sender);
    // Sizes and places the window for the current number of entries.
    void adjustLogWindow();

    bool windowShouldClose(platform::Window& sender) override;
    void windowDidBecomeKey(platform::Window& sender) override;

    std::vector<std::shared_ptr<LogItem>> logEntries() const;
    void setLogEntries(const std::vector<std::shared_ptr<LogItem>>& entries);
    const platform::ArrayControllerRef& logEntriesController() const { return outlets_.logEntriesController; }
    void setLogEntriesController(const platform::ArrayControllerRef& controller);
    platform::Button& clearButton() { return *outlets_.clearButton; }
    platform::Button& showPasswords() { return *outlets_.showPasswords; }
    platform::CollectionView& collectionView() { return *outlets_.collectionView; }

private:
    bool photoWillFollow(const std::string& logKey) const;
    platform::Rect mainScreenFrame() const;

    TarnwickDelegate* delegate_;
    LogWindowOutlets outlets_;
};
