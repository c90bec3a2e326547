#pragma once

#include <QWidget>

#include "platform/ui/View.h"

namespace platform::desktop {

// Widgets for the controls beyond text, pictures and buttons: sliders,
// pop-up buttons, progress indicators, shortcut recorders and tables. User input
// reaches the model through its `user…` calls.

// The widget for `view`, or none when it is not one of these controls.
QWidget* createControlWidget(View& view);
// Brings the widget in line with its model; false when `view` is not one of
// these controls.
bool syncControlWidget(View& view, QWidget* widget);
// Whether the control takes the room a layout has to spare.
bool expandsInLayout(const View& view);
// Whether the widget is shown while its view is not hidden.
bool shownWhileNotHidden(const View& view);

}  // namespace platform::desktop
