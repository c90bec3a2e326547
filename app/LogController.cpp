#include "app/LogController.h"

// Placeholder until the event log lands: an empty window.

LogController::LogController(TarnwickDelegate* delegate)
    : delegate_(delegate), window_(std::make_unique<platform::Window>(platform::Rect{0, 0, 480, 60})) {}

LogController::~LogController() = default;

platform::Window& LogController::window() { return *window_; }

std::size_t LogController::logEntryCount() const { return 0; }

void LogController::reset(platform::Object*) { window_->performClose(); }

void LogController::adjustLogWindow() {}
