#include "prefpane/PreferenceController.h"

#include "app/TarnwickConstants.h"
#include "platform/foundation/AssertionHandler.h"
#include "prefglue/PrefGlue.h"

#include <array>

namespace {

struct Row {
    const char* name;
    const char* key;
};

// The events in the order the pane lists them, and the two reactions it offers.
constexpr std::array<Row, 5> kEventRows = {{
    {"Wrong Password", kPrefWrongPassword},
    {"3x Wrong Password", kPrefThreeWrongPassword},
    {"Lock Screen", kPrefScreenLocked},
    {"Unlock Screen", kPrefScreenUnlocked},
    {"Password Timeout", kPrefPasswordTimeout},
}};
constexpr std::array<Row, 2> kActionRows = {{{"Log", kActionLog}, {"Execute Script", kActionScript}}};
constexpr int kScriptRow = 1;

constexpr const char* kColumnName = "name";
constexpr const char* kColumnEnabled = "enabled";
constexpr const char* kColumnPhoto = "photo";
constexpr const char* kColumnDetails = "details";

bool isEventRow(int row) { return row >= 0 && row < static_cast<int>(kEventRows.size()); }
bool isActionRow(int row) { return row >= 0 && row < static_cast<int>(kActionRows.size()); }

// Without anything stored, an event is logged with a photo (the unlock
// without one), and no script runs.
bool reactionFallback(int actionRow) { return actionRow != kScriptRow; }
bool photoFallback(const std::string& eventKey, int actionRow) {
    return reactionFallback(actionRow) && eventKey != kPrefScreenUnlocked;
}

std::string replacingSeparators(std::string text) {
    const std::string separator = kScriptDetailsSeparator;
    for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, at + 1))
        text.replace(at, separator.size(), " ");
    return text;
}

std::string describeCell(const std::string& what, const platform::TableColumn& column, int actionRow, int eventRow) {
    return what + "; column: " + column.identifier + "; action: " + std::to_string(actionRow) +
           ", event: " + std::to_string(eventRow);
}

}  // namespace

void PreferenceController::failInTable(int line, const std::string& description) const {
    platform::handleFailureInMethod("PreferenceController", "PreferenceController", line, description);
}

int PreferenceController::numberOfRowsInTableView(platform::TableView& tableView) {
    if (&tableView == events.get()) return static_cast<int>(kEventRows.size());
    const int eventRow = events ? events->selectedRow() : -1;
    if (eventRow < 0) return 0;
    if (!isEventRow(eventRow))
        failInTable(__LINE__, "Event not set up in [PreferencesController numberOfRowsInTableView:]");
    return static_cast<int>(kActionRows.size());
}

std::string PreferenceController::selectedEventKey(const std::string& failure, const platform::TableColumn& column,
                                                   int actionRow) const {
    const int eventRow = events->selectedRow();
    if (!isEventRow(eventRow)) failInTable(__LINE__, describeCell(failure, column, actionRow, eventRow));
    return kEventRows[static_cast<std::size_t>(eventRow)].key;
}

platform::Value PreferenceController::tableViewObjectValueForTableColumn(platform::TableView& tableView,
                                                                         const platform::TableColumn& column, int row) {
    if (&tableView == events.get()) {
        if (!isEventRow(row))
            failInTable(__LINE__,
                        "Event not set up in [PreferencesController tableView:objectValueForTableColumn:row]");
        const Row& event = kEventRows[static_cast<std::size_t>(row)];
        if (column.identifier == kColumnEnabled) return PreferencesBoolValue(event.key, true, appID_);
        if (column.identifier == kColumnName) return event.name;
        return {};
    }
    const int eventRow = events ? events->selectedRow() : -1;
    if (eventRow < 0) return {};
    if (column.identifier == kColumnName) {
        if (!isActionRow(row))
            failInTable(__LINE__, describeCell("Cannot provide data for this column", column, row, eventRow));
        return kActionRows[static_cast<std::size_t>(row)].name;
    }
    const std::string eventKey = selectedEventKey("Unknown event", column, row);
    if (!isActionRow(row)) failInTable(__LINE__, describeCell("Unknown action", column, row, eventRow));
    const std::string key = eventKey + "." + kActionRows[static_cast<std::size_t>(row)].key;
    if (column.identifier == kColumnEnabled) return PreferencesBoolValue(key, reactionFallback(row), appID_);
    if (column.identifier == kColumnPhoto)
        return PreferencesBoolValue(key + ".photo", photoFallback(eventKey, row), appID_);
    if (column.identifier == kColumnDetails) {
        const std::string details = PreferencesStringValue(key + ".details", "", appID_);
        return row == kScriptRow ? replacingSeparators(details) : details;
    }
    failInTable(__LINE__, describeCell("Unknown event column", column, row, eventRow));
}

void PreferenceController::tableViewSetObjectValue(platform::TableView& tableView, const platform::Value& value,
                                                   const platform::TableColumn& column, int row) {
    const bool on = value.boolValue();
    if (&tableView == events.get()) {
        if (!isEventRow(row))
            failInTable(__LINE__,
                        "Event not set up in [PreferencesController tableView:setObjectValueForTableColumn:row]");
        if (column.identifier == kColumnEnabled) writeValue(kEventRows[static_cast<std::size_t>(row)].key, on);
        synchronizeWithApplication();
        return;
    }
    const int eventRow = events ? events->selectedRow() : -1;
    if (eventRow < 0) return;
    const std::string eventKey = selectedEventKey("Unknown event", column, row);
    if (!isActionRow(row)) failInTable(__LINE__, describeCell("Unknown action", column, row, eventRow));
    const std::string key = eventKey + "." + kActionRows[static_cast<std::size_t>(row)].key;
    if (column.identifier == kColumnEnabled) {
        // A script is switched on only once the sheet has chosen one.
        if (row == kScriptRow && on)
            openScriptPanelFor(key + ".details");
        else
            writeValue(key, on);
    } else if (column.identifier == kColumnPhoto) {
        writeValue(key + ".photo", on);
    }
    synchronizeWithApplication();
}

bool PreferenceController::tableViewShouldSelectRow(platform::TableView& tableView, int) {
    if (&tableView == events.get() && actions) actions->reloadData();
    return true;
}

bool PreferenceController::controlTextShouldBeginEditing(platform::TableView&) { return false; }

void PreferenceController::eventsChanged(platform::Object*) {
    if (actions) actions->reloadData();
}

void PreferenceController::actionsChanged(platform::Object*) {}

std::optional<std::string> PreferenceController::selectedAction() {
    const int eventRow = events ? events->selectedRow() : -1;
    if (eventRow < 0) return std::nullopt;
    const int actionRow = actions ? actions->selectedRow() : -1;
    if (!isEventRow(eventRow) || !isActionRow(actionRow))
        failInTable(__LINE__,
                    "Event not set up in [PreferencesController selectedAction]: " + std::to_string(eventRow));
    return std::string(kEventRows[static_cast<std::size_t>(eventRow)].key) + "." +
           kActionRows[static_cast<std::size_t>(actionRow)].key;
}
