#include "app/ScriptHandler.h"

// Placeholder until the script actions land.

ScriptHandler::ScriptHandler() = default;

ScriptHandler::~ScriptHandler() = default;
