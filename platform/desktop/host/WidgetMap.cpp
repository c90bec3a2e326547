#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSaveFile>
#include <QTabBar>
#include <QTableWidget>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include "platform/desktop/host/WidgetMap.h"

namespace platform::desktop {

namespace {

constexpr int kIntervalMilliseconds = 200;

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString checkedOf(const QWidget* widget) {
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    if (!button || !button->isCheckable()) return QStringLiteral("-");
    return button->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

QString textOf(const QWidget* widget) {
    QString text;
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) text = button->text();
    if (const auto* label = qobject_cast<const QLabel*>(widget)) text = label->text();
    if (const auto* box = qobject_cast<const QComboBox*>(widget)) text = box->currentText();
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) text = edit->displayText();
    return oneLine(text);
}

// The name assistive technology reads for the widget.
QString accessibleNameOf(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? oneLine(accessible->text(QAccessible::Name)) : QString();
}

void describe(QTextStream& out, QWidget* widget, const QString& name) {
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    out << name << '\t' << origin.x() << '\t' << origin.y() << '\t' << widget->width() << '\t' << widget->height()
        << '\t' << (widget->isVisible() ? 1 : 0) << '\t' << (widget->isEnabled() ? 1 : 0) << '\t' << checkedOf(widget)
        << '\t' << textOf(widget) << '\t' << accessibleNameOf(widget) << '\n';
}

// An alert: its message ("alert"), its informative text ("alert:informative")
// and its buttons ("alert:button:" and the title).
void describeAlert(QTextStream& out, QMessageBox* box) {
    const QPoint origin = box->mapToGlobal(QPoint(0, 0));
    out << "alert\t" << origin.x() << '\t' << origin.y() << '\t' << box->width() << '\t' << box->height()
        << "\t1\t1\t-\t" << oneLine(box->text()) << '\n';
    out << "alert:informative\t" << origin.x() << '\t' << origin.y() << "\t0\t0\t1\t1\t-\t"
        << oneLine(box->informativeText()) << '\n';
    for (QAbstractButton* button : box->buttons()) describe(out, button, "alert:button:" + button->text());
}

// Each tab of a tab bar, named "tab:" and its label.
void describeTabs(QTextStream& out, const QTabBar* bar) {
    for (int i = 0; i < bar->count(); ++i) {
        const QRect rect = bar->tabRect(i);
        const QPoint origin = bar->mapToGlobal(rect.topLeft());
        out << "tab:" << bar->tabText(i) << '\t' << origin.x() << '\t' << origin.y() << '\t' << rect.width() << '\t'
            << rect.height() << '\t' << (bar->isVisible() ? 1 : 0) << '\t' << (bar->isTabEnabled(i) ? 1 : 0) << '\t'
            << (bar->currentIndex() == i ? 1 : 0) << '\t' << bar->tabText(i) << '\n';
    }
}

// Each cell of a table, named by the table, the row and the column's
// identifier ("events:0:enabled"); a check-box cell tells its state.
void describeCells(QTextStream& out, const QTableWidget* table) {
    for (int row = 0; row < table->rowCount(); ++row) {
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem* cell = table->item(row, column);
            const QTableWidgetItem* header = table->horizontalHeaderItem(column);
            if (!cell || !header) continue;
            const QRect rect = table->visualItemRect(cell);
            const QPoint origin = table->viewport()->mapToGlobal(rect.topLeft());
            const bool checkable = cell->flags().testFlag(Qt::ItemIsUserCheckable);
            out << table->objectName() << ':' << row << ':' << header->data(Qt::UserRole).toString() << '\t'
                << origin.x() << '\t' << origin.y() << '\t' << rect.width() << '\t' << rect.height() << '\t'
                << (table->isVisible() ? 1 : 0) << '\t' << (table->isEnabled() ? 1 : 0) << '\t'
                << (checkable ? (cell->checkState() == Qt::Checked ? "1" : "0") : "-") << '\t'
                << QString(cell->text()).replace(QLatin1Char('\t'), QLatin1Char(' ')) << '\n';
        }
    }
}

}  // namespace

WidgetMap::WidgetMap(QString path) : path_(std::move(path)) {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { write(); });
    timer->start(kIntervalMilliseconds);
}

void WidgetMap::write() const {
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return;
    QTextStream out(&file);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        if (auto* alert = qobject_cast<QMessageBox*>(window)) {
            describeAlert(out, alert);
            continue;
        }
        // A window's text is its X window's id, for those who send it requests.
        out << "window:" << oneLine(window->windowTitle()) << '\t' << window->mapToGlobal(QPoint(0, 0)).x() << '\t'
            << window->mapToGlobal(QPoint(0, 0)).y() << '\t' << window->width() << '\t' << window->height()
            << "\t1\t1\t-\t" << window->winId() << '\n';
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (const auto* bar = qobject_cast<const QTabBar*>(widget)) describeTabs(out, bar);
            if (const auto* table = qobject_cast<const QTableWidget*>(widget)) describeCells(out, table);
            if (!widget->objectName().isEmpty() && !widget->objectName().startsWith(QLatin1String("qt_")))
                describe(out, widget, widget->objectName());
        }
    }
    out.flush();
    file.commit();
}

}  // namespace platform::desktop
