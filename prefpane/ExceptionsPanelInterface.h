#pragma once

#include "platform/ui/Controls.h"
#include "platform/ui/Window.h"

#include <memory>

class ExceptionsPanelController;

// Builds the exceptions sheet with its table (columns "icon" and "name",
// `owner` as the data source), its add and remove buttons and a Done button
// that sends `done` (the sheet is closed by the pane's controller). Answers
// the sheet.
std::shared_ptr<platform::Window> loadExceptionsPanelInterface(ExceptionsPanelController& owner,
                                                               platform::Button::Action done);
