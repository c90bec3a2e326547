#pragma once

#include "platform/foundation/Value.h"
#include "platform/ui/Controls.h"
#include "platform/ui/TableView.h"

#include <memory>
#include <string>

class PreferenceController;

// The exceptions sheet: the applications during which the screen never
// locks by itself, each an application bundle or a desktop entry, shown with
// its icon and the name the application compares with the frontmost
// process. It keeps its own copy of the "exceptions" list, read once, and
// stores the whole list after every change; the pane's controller opens and
// closes the sheet (openExceptionsPanel, hideExceptionsPanel) and announces
// the change only then.
class ExceptionsPanelController : public platform::TableViewDataSource {
public:
    static constexpr const char* kIconColumn = "icon";
    static constexpr const char* kNameColumn = "name";

    PreferenceController* preferencesController() const { return preferencesController_; }
    void setPreferencesController(PreferenceController* controller) { preferencesController_ = controller; }

    void awakeFromNib();

    int numberOfRowsInTableView(platform::TableView& tableView) override;
    platform::Value tableViewObjectValueForTableColumn(platform::TableView& tableView,
                                                       const platform::TableColumn& column, int row) override;
    // The cells are not editable.
    void tableViewSetObjectValue(platform::TableView&, const platform::Value&, const platform::TableColumn&,
                                 int) override {}

    void selectApplicationBundle(platform::Object* sender);
    // Removes the selected row; without one nothing changes.
    void removeApplicationBundle(platform::Object* sender);

private:
    friend std::shared_ptr<platform::Window> loadExceptionsPanelInterface(ExceptionsPanelController& owner,
                                                                          platform::Button::Action done);

    void storeExceptions();
    // Where the chooser starts: the first folder of installed desktop entries.
    static std::string applicationsFolder();

    PreferenceController* preferencesController_ = nullptr;
    std::shared_ptr<platform::Button> addButton;
    std::shared_ptr<platform::Button> removeButton;
    platform::TableViewRef tableView;
    platform::Array exceptions;
};
