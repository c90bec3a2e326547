#pragma once

#include <string>
#include <variant>
#include <vector>

// The command line of tarnwick-ctl, read without touching the bus.
struct ControlCommand {
    enum class Kind { Lock, ShowLog, Status, Inhibit, Help, Version };
    Kind kind = Kind::Help;
    std::string reason;                // inhibit --reason
    std::vector<std::string> program;  // inhibit: the command and its arguments
};

// Exit statuses that scripts rely on; inhibit otherwise ends with its
// command's status.
enum class ExitStatus : int { Success = 0, Usage = 2, NotRunning = 3, BusFailure = 4, CannotRun = 127 };

// The command, or what is wrong with the arguments.
std::variant<ControlCommand, std::string> parseControlCommand(const std::vector<std::string>& arguments);

extern const char* const kControlUsage;
