#pragma once

// The controller of the exceptions sheet. It edits the "exceptions" list
// itself; the pane's controller only opens and closes the sheet
// (PreferenceController::openExceptionsPanel, hideExceptionsPanel).
class ExceptionsPanelController {
public:
    virtual ~ExceptionsPanelController() = default;
};
