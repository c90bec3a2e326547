#include "platform/ui/TableView.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

using platform::TableCellKind;
using platform::TableView;

// A table's data kept by cell, with a delegate that refuses what it is told to.
struct Rows final : platform::TableViewDataSource, platform::TableViewDelegate {
    int rows = 3;
    std::map<std::pair<std::string, int>, platform::Value> cells;
    bool refuseSelection = false;
    bool refuseEditing = false;

    int numberOfRowsInTableView(TableView&) override { return rows; }
    platform::Value tableViewObjectValueForTableColumn(TableView&, const platform::TableColumn& column,
                                                       int row) override {
        return cells[{column.identifier, row}];
    }
    void tableViewSetObjectValue(TableView&, const platform::Value& value, const platform::TableColumn& column,
                                 int row) override {
        cells[{column.identifier, row}] = value;
    }
    bool tableViewShouldSelectRow(TableView&, int) override { return !refuseSelection; }
    bool controlTextShouldBeginEditing(TableView&) override { return !refuseEditing; }
};

class TableViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        table.addTableColumn({"enabled", "", TableCellKind::CheckBox, 0});
        table.addTableColumn({"name", "Name", TableCellKind::Text, 0});
        table.setDataSource(&data);
        table.setDelegate(&data);
        table.setAction([this](platform::Object*) { ++actions; });
        table.reloadData();
    }
    Rows data;
    TableView table;
    int actions = 0;
};

TEST_F(TableViewTest, ReloadFollowsTheDataSourceAndDropsASelectionBeyondIt) {
    table.userSelectedRow(2);
    data.rows = 5;
    table.reloadData();
    EXPECT_EQ(table.numberOfRows(), 5);
    EXPECT_EQ(table.selectedRow(), 2);
    data.rows = 2;
    table.reloadData();
    EXPECT_EQ(table.selectedRow(), -1);
    EXPECT_TRUE(table.objectValue("enabled", 2).isNull()) << "no cell below the last row";
}

TEST_F(TableViewTest, TheDelegateDecidesSelectionAndEditing) {
    table.userSelectedRow(1);
    EXPECT_EQ(table.selectedRow(), 1);
    EXPECT_EQ(actions, 1);
    data.refuseSelection = true;
    table.userSelectedRow(0);
    EXPECT_EQ(table.selectedRow(), 1);
    EXPECT_EQ(actions, 1) << "a refused selection sends no action";

    EXPECT_TRUE(table.userBeganEditing("name", 0));
    data.refuseEditing = true;
    EXPECT_FALSE(table.userBeganEditing("name", 0));
    EXPECT_FALSE(table.userBeganEditing("enabled", 0)) << "a check box has no text to edit";
}

TEST_F(TableViewTest, ACheckBoxClickSelectsItsRowAndGivesTheDataSourceTheOtherState) {
    data.cells[{"enabled", 1}] = true;
    table.userToggledCheckBox("enabled", 1);
    EXPECT_EQ(data.cells[std::make_pair("enabled", 1)], platform::Value(false));
    EXPECT_EQ(table.selectedRow(), 1);
    table.userToggledCheckBox("enabled", 1);
    EXPECT_EQ(data.cells[std::make_pair("enabled", 1)], platform::Value(true));

    table.userToggledCheckBox("name", 0);
    table.userToggledCheckBox("enabled", 7);
    EXPECT_EQ(data.cells.count(std::make_pair("name", 0)), 0u) << "only check boxes toggle, only in existing rows";
    EXPECT_EQ(data.cells.count(std::make_pair("enabled", 7)), 0u);
}

}  // namespace
