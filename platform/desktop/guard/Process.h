#pragma once

#include <string>

namespace platform::desktop::guard {

// To the system log and to standard error, as "tarnwick-guard: <line>".
void note(const std::string& line);

// CLOCK_MONOTONIC, in seconds.
double monotonicSeconds();

// Out of the application's session and process group, deaf to the signals
// that reach a whole group, unreadable by debuggers of the same user (the
// typed password lives here), with nothing open but standard input and
// output and the channel (none when negative).
void detachFromSession(int channel);

// Starts `application` with the guard's environment and the default signal
// dispositions, detached from the guard (double fork, own session).
void startDetached(const std::string& application);

}  // namespace platform::desktop::guard
