#pragma once

#include "app/ApplicationDelegateAccess.h"
#include "platform/foundation/Object.h"
#include "platform/ui/Window.h"

#include <memory>
#include <vector>

class LogItem;

// The event log window: one entry per event of the current lock cycle.
class LogController : public platform::Object, public platform::WindowDelegate {
public:
    explicit LogController(TarnwickDelegate* delegate);
    ~LogController() override;

    platform::Window& window();
    std::size_t logEntryCount() const;
    // Empties the log and closes the window.
    void reset(platform::Object* sender);
    // Sizes and places the window for the current number of entries.
    void adjustLogWindow();

private:
    TarnwickDelegate* delegate_;
    std::unique_ptr<platform::Window> window_;
};
