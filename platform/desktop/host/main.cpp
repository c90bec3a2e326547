// tarnwick-settings: shows a settings pane bundle in a window of its own.

#include "platform/desktop/host/PaneBundle.h"
#include "platform/desktop/host/SettingsHost.h"
#include "platform/foundation/Defaults.h"
#include "platform/foundation/FileManager.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace {

const char* const kDefaultPane = "Tarnwick.prefPane";

void printUsage() {
    std::printf(
        "Usage: tarnwick-settings [PANE]\n"
        "Shows the settings pane bundle PANE in a window.\n"
        "Without PANE, shows %s from the first PreferencePanes folder that has it:\n"
        "those of $XDG_DATA_DIRS (/usr/local/share:/usr/share), then $XDG_DATA_HOME (~/.local/share).\n"
        "\n"
        "  --help     show this help and exit\n"
        "  --version  show the version and exit\n",
        kDefaultPane);
}

// Where an installed pane is, in the order the application itself looks.
std::optional<std::string> installedPane() {
    namespace paths = platform::paths;
    for (const auto domain : {paths::Domain::Local, paths::Domain::User})
        for (const std::string& library : paths::libraryDirectories(domain)) {
            const std::string pane = paths::appendComponent(library, std::string("PreferencePanes/") + kDefaultPane);
            if (platform::FileManager::fileExists(pane)) return pane;
        }
    return std::nullopt;
}

int fail(const std::string& message, int status = 1) {
    std::fprintf(stderr, "tarnwick-settings: %s\n", message.c_str());
    return status;
}

// Scripts tell wrong arguments (2) from a pane that cannot be shown (1).
int usageError(const std::string& message) { return fail(message + " (see --help)", 2); }

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> panePath;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tarnwick-settings %s\n", TARNWICK_VERSION);
            return 0;
        }
        if (argv[i][0] == '-') return usageError(std::string("unknown option ") + argv[i]);
        if (panePath) return usageError("one pane at a time");
        panePath = argv[i];
    }
    if (!panePath) panePath = installedPane();
    if (!panePath)
        return fail(std::string("no ") + kDefaultPane +
                    " is installed; install it (cmake --install) or name the pane bundle to show");

    auto opened = platform::desktop::PaneBundle::open(*panePath);
    if (auto* problem = std::get_if<std::string>(&opened)) return fail(*problem);
    const auto& bundle = std::get<platform::desktop::PaneBundle>(opened);
    try {
        platform::Defaults::setStandardDomain("tarnwick-settings");
        platform::desktop::SettingsHost host(argc, argv);
        std::unique_ptr<platform::PreferencePane> pane = bundle.instantiate();
        if (!pane) return fail("the pane " + *panePath + " refused to start");
        host.show(std::move(pane), bundle.label());
        return host.exec();
    } catch (const std::exception& failure) {
        return fail(failure.what());
    }
}
