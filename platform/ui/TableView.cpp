#include "platform/ui/TableView.h"

#include <algorithm>

namespace platform {

void TableView::addTableColumn(TableColumn column) {
    columns_.push_back(std::move(column));
    changed();
}

const TableColumn* TableView::tableColumnWithIdentifier(const std::string& identifier) const {
    for (const TableColumn& column : columns_)
        if (column.identifier == identifier) return &column;
    return nullptr;
}

void TableView::reloadData() {
    rows_ = dataSource_ ? std::max(0, dataSource_->numberOfRowsInTableView(*this)) : 0;
    if (!isRow(selectedRow_)) selectedRow_ = -1;
    changed();
}

Value TableView::objectValue(const std::string& columnIdentifier, int row) {
    const TableColumn* column = tableColumnWithIdentifier(columnIdentifier);
    if (!dataSource_ || !column || !isRow(row)) return {};
    return dataSource_->tableViewObjectValueForTableColumn(*this, *column, row);
}

void TableView::selectRow(int row) {
    selectedRow_ = isRow(row) ? row : -1;
    changed();
}

void TableView::userSelectedRow(int row) {
    if (!isEnabled() || !isRow(row) || row == selectedRow_) return;
    if (delegate_ && !delegate_->tableViewShouldSelectRow(*this, row)) return;
    selectRow(row);
    if (action_) action_(this);
}

void TableView::userToggledCheckBox(const std::string& columnIdentifier, int row) {
    const TableColumn* column = tableColumnWithIdentifier(columnIdentifier);
    if (!isEnabled() || !dataSource_ || !column || column->kind != TableCellKind::CheckBox || !isRow(row)) return;
    // A click in a row selects it first, as anywhere else in the row.
    userSelectedRow(row);
    const bool wasOn = dataSource_->tableViewObjectValueForTableColumn(*this, *column, row).boolValue();
    dataSource_->tableViewSetObjectValue(*this, Value(!wasOn), *column, row);
    // What the data source stored (or refused) is what the table shows next.
    changed();
}

bool TableView::userBeganEditing(const std::string& columnIdentifier, int row) {
    const TableColumn* column = tableColumnWithIdentifier(columnIdentifier);
    if (!isEnabled() || !column || column->kind != TableCellKind::Text || !isRow(row)) return false;
    return !delegate_ || delegate_->controlTextShouldBeginEditing(*this);
}

}  // namespace platform
