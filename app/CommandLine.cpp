#include "app/CommandLine.h"

CommandLine CommandLine::parse(const std::vector<std::string>& arguments, const ToolkitOptions& toolkitOptions) {
    // The first request of help or version wins, as it does in most programs;
    // a bad argument before it is still a usage error.
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") return CommandLine(Request::ShowHelp);
        if (argument == "--version") return CommandLine(Request::ShowVersion);
        if (argument == "--") {
            if (i + 1 < arguments.size())
                return CommandLine(Request::UsageError, "unexpected argument " + arguments[i + 1]);
            break;
        }
        if (argument.size() < 2 || argument[0] != '-')
            return CommandLine(Request::UsageError, "unexpected argument " + argument);
        const std::optional<int> values = toolkitOptions ? toolkitOptions(argument) : std::nullopt;
        if (!values) return CommandLine(Request::UsageError, "unknown option " + argument);
        if (i + static_cast<std::size_t>(*values) >= arguments.size())
            return CommandLine(Request::UsageError, "option " + argument + " needs a value");
        i += static_cast<std::size_t>(*values);
    }
    return CommandLine(Request::Run);
}

std::string CommandLine::usage() {
    return "Usage: Tarnwick [OPTION]...\n"
           "Locks the screen of this X11 session and asks for Tarnwick's own password to unlock it.\n"
           "It locks from its tray menu, by its hot key, after a time without input, before the\n"
           "computer sleeps, when a paired Bluetooth device is out of reach, or when asked by\n"
           "tarnwick-ctl. Its settings are changed with tarnwick-settings.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "\n"
           "Qt's own options (-display DISPLAY, -platform NAME, -style STYLE and the others of\n"
           "QApplication) are accepted and passed on to Qt.\n"
           "\n"
           "Environment:\n"
           "  TARNWICK_BACKEND=headless   run the in-memory backend, which locks nothing (for tests)\n"
           "  TARNWICK_ALLOW_WAYLAND=1    start in a Wayland session (it can lock X windows only)\n"
           "\n"
           "Exit status: 0 when it ended normally, 1 when there is no X11 session it can lock,\n"
           "2 when the arguments are wrong.\n";
}
