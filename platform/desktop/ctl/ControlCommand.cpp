#include "ControlCommand.h"

const char* const kControlUsage =
    "Usage: tarnwick-ctl lock\n"
    "       tarnwick-ctl log\n"
    "       tarnwick-ctl status\n"
    "       tarnwick-ctl inhibit [--reason TEXT] -- COMMAND [ARG...]\n"
    "       tarnwick-ctl --help | --version\n"
    "\n"
    "Talks to the running Tarnwick over the session bus.\n"
    "\n"
    "  lock      ask Tarnwick to lock the screen\n"
    "  log       show the event log window, or hide it when shown (for a\n"
    "            compositor's key binding: Wayland gives Tarnwick no hot keys)\n"
    "  status    print \"locked\" or \"unlocked\"\n"
    "  inhibit   keep the inactivity lock away while COMMAND runs, and exit with\n"
    "            its status (128+N when signal N ended it, 127 when it cannot be\n"
    "            started)\n"
    "\n"
    "Exit status: 0 success, 2 usage error, 3 Tarnwick is not running,\n"
    "4 the request failed on the bus. There is no unlock: only the password\n"
    "unlocks the screen.\n";

namespace {

std::variant<ControlCommand, std::string> parseInhibit(const std::vector<std::string>& arguments) {
    ControlCommand command{ControlCommand::Kind::Inhibit, {}, {}};
    std::size_t i = 1;
    for (; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            ++i;
            break;
        }
        if (argument == "--reason") {
            if (++i == arguments.size()) return std::string("--reason needs a text");
            command.reason = arguments[i];
        } else if (argument.rfind("--reason=", 0) == 0) {
            command.reason = argument.substr(9);
        } else if (!argument.empty() && argument[0] == '-') {
            return "unknown option of inhibit: " + argument;
        } else {
            break;
        }
    }
    command.program.assign(arguments.begin() + static_cast<std::ptrdiff_t>(i), arguments.end());
    if (command.program.empty()) return std::string("inhibit needs a command to run");
    return command;
}

}  // namespace

std::variant<ControlCommand, std::string> parseControlCommand(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return std::string("no command given");
    const std::string& verb = arguments.front();
    if (verb == "--help" || verb == "-h") return ControlCommand{ControlCommand::Kind::Help, {}, {}};
    if (verb == "--version") return ControlCommand{ControlCommand::Kind::Version, {}, {}};
    if (verb == "inhibit") return parseInhibit(arguments);
    if (arguments.size() > 1) return verb + " takes no arguments";
    if (verb == "lock") return ControlCommand{ControlCommand::Kind::Lock, {}, {}};
    if (verb == "log") return ControlCommand{ControlCommand::Kind::ShowLog, {}, {}};
    if (verb == "status") return ControlCommand{ControlCommand::Kind::Status, {}, {}};
    return "unknown command: " + verb;
}
