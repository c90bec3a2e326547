#include "shared/TarnwickPaths.h"

#include "platform/foundation/FileManager.h"
#include "platform/services/LoginItems.h"
#include "platform/ui/Alert.h"

#include <vector>

namespace {

const char* const kPaneName = "Tarnwick.prefPane";
const char* const kApplicationName = "Tarnwick.app";

std::vector<std::string> libraryCandidates() {
    std::vector<std::string> candidates = platform::paths::libraryDirectories(platform::paths::Domain::Local);
    for (const std::string& user : platform::paths::libraryDirectories(platform::paths::Domain::User))
        candidates.push_back(user);
    return candidates;
}

void showNotInstalledAlert() {
    platform::Alert::withMessage("Tarnwick has not been installed properly", "Quit", "", "",
                                 "The distribution consists of a file named 'Tarnwick.prefPane'.\n\n"
                                 "Double-Click that file and choose an install location.")
        .runModal();
}

bool isApplication(const platform::LoginItem& item, const std::string& applicationPath) {
    const auto resolved = platform::LoginItems::resolve(item);
    return resolved && *resolved == applicationPath;
}

}  // namespace

std::optional<std::string> TarnwickPaths::pathToPreferencesBundle() {
    for (const std::string& library : libraryCandidates()) {
        const std::string pane =
            platform::paths::appendComponent(platform::paths::appendComponent(library, "PreferencePanes"), kPaneName);
        if (platform::FileManager::fileExists(pane)) return pane;
    }
    showNotInstalledAlert();
    return std::nullopt;
}

std::optional<std::string> TarnwickPaths::pathToApplication() {
    const auto pane = pathToPreferencesBundle();
    if (!pane) return std::nullopt;
    return platform::paths::appendComponent(*pane, kApplicationName);
}

bool TarnwickPaths::shouldLaunchAtLogin(const std::optional<std::string>&) {
    const auto application = pathToApplication();
    const auto list = platform::LoginItems::sessionLoginItems();
    if (!list || !application) return false;
    for (const platform::LoginItem& item : list->snapshot())
        if (isApplication(item, *application)) return true;
    return false;
}

void TarnwickPaths::startAtLogin(int flag) {
    if (flag == 1)
        addLoginItem();
    else if (flag == 0)
        removeLoginItem();
}

void TarnwickPaths::addLoginItem() {
    const auto application = pathToApplication();
    // Without an installation there is nothing to start at login.
    if (!application) return;
    if (shouldLaunchAtLogin(application)) return;
    if (auto list = platform::LoginItems::sessionLoginItems()) list->insertLast(*application);
}

void TarnwickPaths::removeLoginItem() {
    const auto application = pathToApplication();
    auto list = platform::LoginItems::sessionLoginItems();
    if (!list || !application) return;
    // The whole list is walked, so duplicate entries all go.
    for (const platform::LoginItem& item : list->snapshot())
        if (isApplication(item, *application)) list->remove(item);
}
