#include "prefpane/PreferenceController.h"

#include "platform/ui/OpenPanel.h"
#include "prefglue/PrefGlue.h"
#include "shared/QMASL.h"
#include "shared/ScriptDetails.h"
#include "shared/TarnwickConstants.h"
#include "shared/TarnwickEvents.h"

namespace {

constexpr const char* kScriptPanelContext = "script";

}  // namespace

void PreferenceController::openScriptPanelFor(const std::string& detailsKey) {
    const std::string details = PreferencesStringValue(detailsKey, "", appID_);
    if (!details.empty()) {
        QMLog(7, "Opening panel for '%@'", details);
        // Everything after the first separator is shown as the arguments, so
        // that confirming the sheet unchanged stores the same text again.
        const auto [path, arguments] = splitScriptDetails(details);
        scriptNameLabel->setStringValue(path);
        scriptArguments->setStringValue(arguments);
        scriptOkButton->setEnabled(true);
    } else {
        scriptNameLabel->setStringValue("");
        scriptArguments->setStringValue("");
        // Nothing is chosen yet, so there is nothing to confirm.
        scriptOkButton->setEnabled(false);
    }
    beginSheet(*scriptPanel);
}

void PreferenceController::wantScriptPath(platform::Object*) {
    platform::OpenPanel panel;
    panel.allowsMultipleSelection = false;
    panel.canChooseDirectories = false;
    panel.canChooseFiles = true;
    panel.message = "Select an executable, application or AppleScript";
    const int returnCode = panel.runModalForDirectory("");
    filePanelDidEnd(panel, returnCode, kScriptPanelContext);
}

void PreferenceController::filePanelDidEnd(platform::OpenPanel& panel, int returnCode, const std::string& contextInfo) {
    if (contextInfo != kScriptPanelContext || returnCode != platform::OpenPanel::OKButton) return;
    scriptNameLabel->setStringValue(panel.filename());
    scriptOkButton->setEnabled(true);
}

void PreferenceController::scriptDetailsEntered(platform::Object*) {
    const std::optional<std::string> action = selectedAction();
    if (action) {
        writeValue(*action, true);
        writeValue(detailsKey(*action),
                   scriptNameLabel->stringValue() + kScriptDetailsSeparator + scriptArguments->stringValue());
        synchronizeWithApplication();
    }
    endSheet(*scriptPanel);
    if (actions) actions->reloadData();
}

void PreferenceController::scriptDetailsAborted(platform::Object*) {
    endSheet(*scriptPanel);
    // The table showed the script switched on while the sheet was open.
    if (actions) actions->reloadData();
}
