#pragma once

#include <QTableWidget>

#include "platform/ui/TableView.h"

namespace platform::desktop {

// The drawn table of a `TableView`: every cell is asked of the model's data
// source at each sync; clicks select rows, a click or Space on a check box
// toggles it through the model, and no cell is edited in place unless the
// model's delegate allows it.
class QtTableWidget final : public QTableWidget {
public:
    explicit QtTableWidget(TableView& model);
    void sync();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void syncColumns();
    void syncCell(const TableColumn& column, int row, int columnIndex);
    void cellClicked(int row, int column);
    // The one way a check box changes, by mouse or keyboard: the model
    // decides, and the cell shows what it decided.
    bool toggleCheckBox(int row, int column);
    void cellDoubleClicked(int row, int column);

    TableView& model_;
    bool syncing_ = false;
};

}  // namespace platform::desktop
