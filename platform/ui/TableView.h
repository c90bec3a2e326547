#pragma once

#include "platform/foundation/Value.h"
#include "platform/ui/Control.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class TableView;

// How a column's cells are drawn and what a click in them does: text is only
// shown, a check box toggles its Boolean, an image shows the picture named
// by the cell's value.
enum class TableCellKind { Text, CheckBox, Image };

struct TableColumn {
    std::string identifier;
    std::string title;
    TableCellKind kind = TableCellKind::Text;
    double width = 0;  // 0: as wide as the room left over
};

// Where a table finds its rows and cells, named by column identifier. The
// table holds no data of its own: it asks again on every reload.
class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual int numberOfRowsInTableView(TableView& tableView) = 0;
    virtual Value tableViewObjectValueForTableColumn(TableView& tableView, const TableColumn& column, int row) = 0;
    virtual void tableViewSetObjectValue(TableView& tableView, const Value& value, const TableColumn& column,
                                         int row) = 0;
};

class TableViewDelegate {
public:
    virtual ~TableViewDelegate() = default;
    virtual bool tableViewShouldSelectRow(TableView& /*tableView*/, int /*row*/) { return true; }
    // Whether the text of a cell may be edited in place.
    virtual bool controlTextShouldBeginEditing(TableView& /*tableView*/) { return true; }
};

// A table of rows and columns by identifier, with at most one selected row.
// The user's input arrives through the `user…` calls, which a backend peer
// makes (headless tests call them directly); each goes through the data
// source and the delegate as a click in a real table would.
class TableView : public Control {
public:
    using Action = std::function<void(Object* sender)>;
    explicit TableView(Rect frame = {}) : Control(frame) {}

    void addTableColumn(TableColumn column);
    const std::vector<TableColumn>& tableColumns() const { return columns_; }
    const TableColumn* tableColumnWithIdentifier(const std::string& identifier) const;

    // Neither is owned; each must outlive the table or be unset first.
    void setDataSource(TableViewDataSource* dataSource) { dataSource_ = dataSource; }
    void setDelegate(TableViewDelegate* delegate) { delegate_ = delegate; }
    // Sent after the user changed the selection.
    void setAction(Action action) { action_ = std::move(action); }

    // Asks the data source for its rows again; a selection beyond them goes.
    void reloadData();
    int numberOfRows() const { return rows_; }
    // The cell as the data source has it now.
    Value objectValue(const std::string& columnIdentifier, int row);

    // -1 when no row is selected.
    int selectedRow() const { return selectedRow_; }
    void selectRow(int row);
    void deselectAll() { selectRow(-1); }

    // The user clicked row `row`: selected if the delegate allows it.
    void userSelectedRow(int row);
    // The user clicked a check box: its row is selected (if the delegate
    // allows) and the data source is given the new state.
    void userToggledCheckBox(const std::string& columnIdentifier, int row);
    // The user tried to edit a text cell; whether the delegate lets them.
    bool userBeganEditing(const std::string& columnIdentifier, int row);

private:
    bool isRow(int row) const { return row >= 0 && row < rows_; }

    std::vector<TableColumn> columns_;
    TableViewDataSource* dataSource_ = nullptr;
    TableViewDelegate* delegate_ = nullptr;
    Action action_;
    int rows_ = 0;
    int selectedRow_ = -1;
};

using TableViewRef = std::shared_ptr<TableView>;

}  // namespace platform
