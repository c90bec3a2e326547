#pragma once

#include "platform/ui/ArrayController.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Window.h"

#include <memory>

class LogController;

// What the "LogWindow" interface gives its owner.
struct LogWindowOutlets {
    std::unique_ptr<platform::Window> window;
    platform::ArrayControllerRef logEntriesController;
    platform::CollectionViewRef collectionView;
    std::shared_ptr<platform::Button> clearButton;
    std::shared_ptr<platform::Button> showPasswords;
};

// Builds the log window: the rows of entries over a bar with the clear button
// and the show-passwords checkbox, wired to `owner`, which is also the
// window's delegate.
LogWindowOutlets loadLogWindow(LogController& owner);
// Fits the rows and the bar to the window's current size.
void layoutLogWindow(const LogWindowOutlets& outlets);
