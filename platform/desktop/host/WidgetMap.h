#pragma once

#include <QObject>
#include <QString>

namespace platform::desktop {

// Keeps a file listing every named widget of the visible windows with its
// place on the screen and its state, for programs that drive the settings
// window from outside (the end-to-end tests). One line per widget, fields
// separated by tabs: name, x, y, width, height (screen pixels), visible,
// enabled, checked (1, 0 or -), text, and for named widgets the name a
// screen reader says. Windows are named "window:" and their title (their
// text is the X window's id), the tabs
// of a tab widget "tab:" and their label (checked: the one shown), the cells
// of a table its name, row and column identifier ("events:0:enabled"), an
// alert "alert", "alert:informative" and "alert:button:" with each button's
// title. The file is replaced whole, a few times a second.
class WidgetMap final : public QObject {
public:
    explicit WidgetMap(QString path);

private:
    void write() const;

    QString path_;
};

}  // namespace platform::desktop
