#include "platform/desktop/qt/QtTableWidget.h"

#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QSignalBlocker>

#include "platform/ui/Image.h"

namespace platform::desktop {

namespace {

QIcon iconNamed(const std::string& name) {
    const QString qname = QString::fromStdString(name);
    return name.starts_with('/') ? QIcon(qname) : QIcon::fromTheme(qname);
}

// An image cell shows a named icon, or an image the model made (a file, or
// a name in the icon theme); a theme without the name shows a generic one.
QIcon iconOf(const Value& value) {
    if (value.isString()) return iconNamed(value.stringValue());
    const auto image = value.objectAs<Image>();
    if (!image) return {};
    if (!image->filePath().empty()) return QIcon(QString::fromStdString(image->filePath()));
    return QIcon::fromTheme(QString::fromStdString(image->name()), QIcon::fromTheme("application-x-executable"));
}

QString textOf(const Value& value) {
    if (value.isString()) return QString::fromStdString(value.stringValue());
    if (value.isNumber()) return QString::number(value.doubleValue());
    return {};
}

}  // namespace

QtTableWidget::QtTableWidget(TableView& model) : model_(model) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Editing goes through the model's delegate (double click), never Qt's triggers.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    connect(this, &QTableWidget::cellClicked, this, &QtTableWidget::cellClicked);
    connect(this, &QTableWidget::cellDoubleClicked, this, &QtTableWidget::cellDoubleClicked);
    connect(this, &QTableWidget::itemSelectionChanged, this, [this] {
        if (syncing_) return;
        const auto rows = selectionModel()->selectedRows();
        if (!rows.isEmpty()) model_.userSelectedRow(rows.front().row());
        // A refused selection snaps back to the model's.
        sync();
    });
}

void QtTableWidget::sync() {
    syncing_ = true;
    const QSignalBlocker quiet(this);
    // Selecting a row moves the keyboard's cell to its first column; the
    // keyboard stays where the user put it.
    const QModelIndex keyboardCell = currentIndex();
    setEnabled(model_.isEnabled());
    syncColumns();
    setRowCount(model_.numberOfRows());
    const auto& columns = model_.tableColumns();
    for (int row = 0; row < model_.numberOfRows(); ++row)
        for (int index = 0; index < static_cast<int>(columns.size()); ++index)
            syncCell(columns[static_cast<std::size_t>(index)], row, index);
    clearSelection();
    if (model_.selectedRow() >= 0) selectRow(model_.selectedRow());
    if (keyboardCell.isValid() && keyboardCell.row() < rowCount() && keyboardCell.column() < columnCount()) {
        const int row = model_.selectedRow() >= 0 ? model_.selectedRow() : keyboardCell.row();
        selectionModel()->setCurrentIndex(model()->index(row, keyboardCell.column()), QItemSelectionModel::NoUpdate);
    }
    syncing_ = false;
}

void QtTableWidget::syncColumns() {
    const auto& columns = model_.tableColumns();
    if (columnCount() == static_cast<int>(columns.size())) return;
    setColumnCount(static_cast<int>(columns.size()));
    for (int index = 0; index < static_cast<int>(columns.size()); ++index) {
        const TableColumn& column = columns[static_cast<std::size_t>(index)];
        auto* header = new QTableWidgetItem(QString::fromStdString(column.title));
        // Whoever looks at the drawn table from outside finds the cells by column identifier.
        header->setData(Qt::UserRole, QString::fromStdString(column.identifier));
        setHorizontalHeaderItem(index, header);
        if (column.width > 0) {
            horizontalHeader()->setSectionResizeMode(index, QHeaderView::Fixed);
            setColumnWidth(index, static_cast<int>(column.width));
        } else {
            horizontalHeader()->setSectionResizeMode(index, QHeaderView::Stretch);
        }
    }
}

void QtTableWidget::syncCell(const TableColumn& column, int row, int columnIndex) {
    const Value value = model_.objectValue(column.identifier, row);
    auto* cell = item(row, columnIndex);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row, columnIndex, cell);
    }
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    switch (column.kind) {
        case TableCellKind::CheckBox:
            cell->setFlags(cell->flags() | Qt::ItemIsUserCheckable);
            cell->setCheckState(value.boolValue() ? Qt::Checked : Qt::Unchecked);
            break;
        case TableCellKind::Image: cell->setIcon(iconOf(value)); break;
        case TableCellKind::Text: cell->setText(textOf(value)); break;
    }
}

void QtTableWidget::cellClicked(int row, int column) {
    if (!toggleCheckBox(row, column)) sync();
}

// Qt's own Space would flip only the drawn mark.
void QtTableWidget::keyPressEvent(QKeyEvent* event) {
    const bool toggles = event->key() == Qt::Key_Space || event->key() == Qt::Key_Select;
    if (toggles && currentIndex().isValid() && toggleCheckBox(currentIndex().row(), currentIndex().column())) {
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

bool QtTableWidget::toggleCheckBox(int row, int column) {
    const auto& columns = model_.tableColumns();
    if (column < 0 || column >= static_cast<int>(columns.size()) || row < 0 || row >= model_.numberOfRows())
        return false;
    const TableColumn& toggled = columns[static_cast<std::size_t>(column)];
    if (toggled.kind != TableCellKind::CheckBox) return false;
    model_.userToggledCheckBox(toggled.identifier, row);
    sync();
    return true;
}

void QtTableWidget::cellDoubleClicked(int row, int column) {
    const auto& columns = model_.tableColumns();
    if (column < 0 || column >= static_cast<int>(columns.size())) return;
    const TableColumn& clicked = columns[static_cast<std::size_t>(column)];
    if (model_.userBeganEditing(clicked.identifier, row)) editItem(item(row, column));
}

}  // namespace platform::desktop
