#include "prefpane/PreferenceController.h"

#include "platform/foundation/AssertionHandler.h"
#include "prefglue/PrefGlue.h"
#include "shared/TarnwickConstants.h"
#include "shared/TarnwickEvents.h"

#include <array>

namespace {

struct Row {
    const char* name;
    const char* key;
};

// The two reactions the pane offers for each event.
constexpr std::array<Row, 2> kActionRows = {{{"Log", kActionLog}, {"Execute Script", kActionScript}}};
constexpr int kScriptRow = 1;

constexpr const char* kColumnName = "name";
constexpr const char* kColumnEnabled = "enabled";
constexpr const char* kColumnPhoto = "photo";
constexpr const char* kColumnDetails = "details";

bool isEventRow(int row) { return row >= 0 && row < static_cast<int>(kTarnwickEvents.size()); }
bool isActionRow(int row) { return row >= 0 && row < static_cast<int>(kActionRows.size()); }

const TarnwickEvent& eventOfRow(int row) { return kTarnwickEvents[static_cast<std::size_t>(row)]; }

// What a key holds while nothing is stored: what the application holds then.
bool fallbackOf(const std::string& key) {
    const auto fallback = eventDefaults().find(key);
    return fallback != eventDefaults().end() && fallback->second.boolValue();
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
    if (&tableView == events.get()) return static_cast<int>(kTarnwickEvents.size());
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
    return eventOfRow(eventRow).prefix;
}

platform::Value PreferenceController::tableViewObjectValueForTableColumn(platform::TableView& tableView,
                                                                         const platform::TableColumn& column, int row) {
    if (&tableView == events.get()) {
        if (!isEventRow(row))
            failInTable(__LINE__,
                        "Event not set up in [PreferencesController tableView:objectValueForTableColumn:row]");
        const TarnwickEvent& event = eventOfRow(row);
        if (column.identifier == kColumnEnabled)
            return PreferencesBoolValue(event.prefix, fallbackOf(event.prefix), appID_);
        if (column.identifier == kColumnName) return event.title;
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
    const std::string key = actionKey(eventKey, kActionRows[static_cast<std::size_t>(row)].key);
    if (column.identifier == kColumnEnabled) return PreferencesBoolValue(key, fallbackOf(key), appID_);
    if (column.identifier == kColumnPhoto)
        return PreferencesBoolValue(photoKey(key), fallbackOf(photoKey(key)), appID_);
    if (column.identifier == kColumnDetails) {
        const std::string details = PreferencesStringValue(detailsKey(key), "", appID_);
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
        if (column.identifier == kColumnEnabled) writeValue(eventOfRow(row).prefix, on);
        synchronizeWithApplication();
        return;
    }
    const int eventRow = events ? events->selectedRow() : -1;
    if (eventRow < 0) return;
    const std::string eventKey = selectedEventKey("Unknown event", column, row);
    if (!isActionRow(row)) failInTable(__LINE__, describeCell("Unknown action", column, row, eventRow));
    const std::string key = actionKey(eventKey, kActionRows[static_cast<std::size_t>(row)].key);
    if (column.identifier == kColumnEnabled) {
        // A script is switched on only once the sheet has chosen one.
        if (row == kScriptRow && on)
            openScriptPanelFor(detailsKey(key));
        else
            writeValue(key, on);
    } else if (column.identifier == kColumnPhoto) {
        writeValue(photoKey(key), on);
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
    return actionKey(eventOfRow(eventRow).prefix, kActionRows[static_cast<std::size_t>(actionRow)].key);
}
