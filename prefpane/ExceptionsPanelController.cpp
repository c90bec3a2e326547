#include "prefpane/ExceptionsPanelController.h"

#include "platform/foundation/DesktopEntry.h"
#include "platform/foundation/Defaults.h"
#include "platform/foundation/FileManager.h"
#include "platform/services/Workspace.h"
#include "platform/ui/OpenPanel.h"
#include "prefglue/PrefGlue.h"
#include "prefpane/PreferenceController.h"
#include "shared/ExceptionEntry.h"
#include "shared/TarnwickConstants.h"

#include <algorithm>

void ExceptionsPanelController::awakeFromNib() {
    const std::string& appID = PreferenceController::appIDOf(preferencesController_);
    exceptions = PreferencesArrayValue(kPrefExceptions, platform::Array{}, appID);
    if (tableView) tableView->reloadData();
}

int ExceptionsPanelController::numberOfRowsInTableView(platform::TableView&) {
    return static_cast<int>(exceptions.size());
}

platform::Value ExceptionsPanelController::tableViewObjectValueForTableColumn(platform::TableView&,
                                                                              const platform::TableColumn& column,
                                                                              int row) {
    if (row < 0 || row >= static_cast<int>(exceptions.size())) return {};
    const std::string& path = exceptions[static_cast<std::size_t>(row)].stringValue();
    if (column.identifier == kIconColumn)
        return platform::Workspace::isInstalled() ? platform::Value(platform::Workspace::shared().iconForFile(path))
                                                  : platform::Value();
    const auto name = exceptionEntryName(path);
    return name ? platform::Value(*name) : platform::Value();
}

void ExceptionsPanelController::selectApplicationBundle(platform::Object*) {
    platform::OpenPanel panel;
    panel.title = "Select an application";
    panel.canCreateDirectories = false;
    panel.canChooseDirectories = false;
    panel.canChooseFiles = true;
    panel.allowsMultipleSelection = false;
    panel.allowedFileTypes = {"app", platform::DesktopEntry::kExtension};
    if (panel.runModalForDirectory(applicationsFolder()) != platform::OpenPanel::OKButton) return;
    exceptions.push_back(panel.filename());
    if (tableView) tableView->reloadData();
    storeExceptions();
}

void ExceptionsPanelController::removeApplicationBundle(platform::Object*) {
    const int row = tableView ? tableView->selectedRow() : -1;
    if (row < 0 || row >= static_cast<int>(exceptions.size())) return;
    exceptions.erase(exceptions.begin() + row);
    tableView->reloadData();
    storeExceptions();
}

void ExceptionsPanelController::storeExceptions() {
    const std::string& appID = PreferenceController::appIDOf(preferencesController_);
    platform::preferences::setAppValue(kPrefExceptions, exceptions, appID);
    // The list stays as shown, and pending: the next write that works saves it.
    const bool saved =
        preferencesController_ ? preferencesController_->flushSettings() : platform::preferences::appSynchronize(appID);
    if (!saved) PreferenceController::alertSettingsNotSaved(appID);
}

std::string ExceptionsPanelController::applicationsFolder() {
    const auto holdsEntries = [](const std::string& folder) {
        const auto names = platform::FileManager::contentsOfDirectory(folder);
        return std::any_of(names.begin(), names.end(), [](const std::string& name) {
            return platform::paths::pathExtension(name) == platform::DesktopEntry::kExtension;
        });
    };
    for (const auto domain : {platform::paths::Domain::Local, platform::paths::Domain::User})
        for (const std::string& data : platform::paths::libraryDirectories(domain)) {
            std::string folder = platform::paths::appendComponent(data, "applications");
            if (holdsEntries(folder)) return folder;
        }
    return platform::paths::home();
}
