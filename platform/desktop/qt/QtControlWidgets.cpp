#include <QComboBox>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>

#include "platform/desktop/qt/QtControlWidgets.h"

#include "platform/desktop/qt/QtShortcutRecorderWidget.h"
#include "platform/desktop/qt/QtTableWidget.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/ProgressIndicator.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Layout.h"
#include "platform/ui/TextField.h"

#include <algorithm>
#include <cmath>

namespace platform::desktop {

namespace {

// Qt's sliders move in whole steps: on the marks when only marks are
// allowed, otherwise in thousandths of the range.
constexpr int kContinuousSteps = 1000;
// An arrow key moves a continuous slider by a quarter of a percent.
constexpr int kContinuousSingleStep = 4;
constexpr int kMostTickMarksDrawn = 12;

int stepsOf(const Slider& slider) {
    return slider.allowsTickMarkValuesOnly() && slider.numberOfTickMarks() >= 2 ? slider.numberOfTickMarks() - 1
                                                                                : kContinuousSteps;
}

double valueAtStep(const Slider& slider, int step) {
    return slider.minValue() + (slider.maxValue() - slider.minValue()) * step / stepsOf(slider);
}

int stepOf(const Slider& slider, double value) {
    const double range = slider.maxValue() - slider.minValue();
    if (range <= 0) return 0;
    return static_cast<int>(std::lround((value - slider.minValue()) / range * stepsOf(slider)));
}

QSlider* makeSlider(Slider& model) {
    auto* slider = new QSlider(Qt::Horizontal);
    // A setting is written when the knob comes to rest, not at every step of a drag.
    QObject::connect(slider, &QSlider::valueChanged, [&model, slider](int step) {
        if (!slider->isSliderDown()) model.userMoved(valueAtStep(model, step));
    });
    QObject::connect(slider, &QSlider::sliderReleased,
                     [&model, slider] { model.userMoved(valueAtStep(model, slider->value())); });
    return slider;
}

void syncSlider(const Slider& model, QSlider& slider) {
    const QSignalBlocker quiet(slider);
    const int steps = stepsOf(model);
    slider.setRange(0, steps);
    slider.setSingleStep(steps == kContinuousSteps ? kContinuousSingleStep : 1);
    slider.setPageStep(std::max(1, steps / 10));
    if (model.numberOfTickMarks() >= 2) {
        const int marks = std::min(model.numberOfTickMarks() - 1, kMostTickMarksDrawn);
        slider.setTickPosition(QSlider::TicksBelow);
        slider.setTickInterval(std::max(1, (steps + marks - 1) / marks));
    } else {
        slider.setTickPosition(QSlider::NoTicks);
    }
    if (!slider.isSliderDown()) slider.setValue(stepOf(model, model.doubleValue()));
}

QComboBox* makePopUp(PopUpButton& model) {
    auto* box = new QComboBox;
    QObject::connect(box, &QComboBox::activated, [&model](int index) { model.userSelected(index); });
    return box;
}

void syncPopUp(const PopUpButton& model, QComboBox& box) {
    const QSignalBlocker quiet(box);
    const auto& items = model.items();
    // Qt counts a separator as an item too, so both lists keep the same indexes.
    const auto isSeparator = [&box](int i) {
        return box.itemData(i, Qt::AccessibleDescriptionRole).toString() == QLatin1String("separator");
    };
    bool same = box.count() == static_cast<int>(items.size());
    for (int i = 0; same && i < box.count(); ++i)
        same = box.itemText(i).toStdString() == items[i]->title() && isSeparator(i) == items[i]->isSeparatorItem();
    if (!same) {
        box.clear();
        for (const PopUpItemRef& item : items) {
            if (item->isSeparatorItem())
                box.insertSeparator(box.count());
            else
                box.addItem(QString::fromStdString(item->title()), item->tag());
        }
    }
    box.setCurrentIndex(model.indexOfSelectedItem());
}

void syncProgress(const ProgressIndicator& model, QProgressBar& bar) {
    // A range of nothing makes the bar busy without a known end.
    bar.setRange(0, model.isAnimating() ? 0 : 1);
    bar.setValue(0);
    bar.setTextVisible(false);
}

}  // namespace

QWidget* createControlWidget(View& view) {
    if (auto* slider = dynamic_cast<Slider*>(&view)) return makeSlider(*slider);
    if (auto* popUp = dynamic_cast<PopUpButton*>(&view)) return makePopUp(*popUp);
    if (dynamic_cast<ProgressIndicator*>(&view)) return new QProgressBar;
    if (auto* recorder = dynamic_cast<ShortcutRecorder*>(&view)) return new QtShortcutRecorderWidget(*recorder);
    if (auto* table = dynamic_cast<TableView*>(&view)) return new QtTableWidget(*table);
    return nullptr;
}

bool syncControlWidget(View& view, QWidget* widget) {
    if (auto* control = dynamic_cast<Control*>(&view)) widget->setEnabled(control->isEnabled());
    if (auto* slider = dynamic_cast<Slider*>(&view)) {
        syncSlider(*slider, *static_cast<QSlider*>(widget));
        return true;
    }
    if (auto* popUp = dynamic_cast<PopUpButton*>(&view)) {
        syncPopUp(*popUp, *static_cast<QComboBox*>(widget));
        return true;
    }
    if (auto* progress = dynamic_cast<ProgressIndicator*>(&view)) {
        syncProgress(*progress, *static_cast<QProgressBar*>(widget));
        return true;
    }
    if (dynamic_cast<ShortcutRecorder*>(&view)) {
        static_cast<QtShortcutRecorderWidget*>(widget)->sync();
        return true;
    }
    if (dynamic_cast<TableView*>(&view)) {
        static_cast<QtTableWidget*>(widget)->sync();
        return true;
    }
    return false;
}

bool expandsInLayout(const View& view) {
    if (dynamic_cast<const Slider*>(&view) || dynamic_cast<const TabView*>(&view) ||
        dynamic_cast<const TableView*>(&view))
        return true;
    const auto* field = dynamic_cast<const TextField*>(&view);
    return field && field->isEditable();
}

bool shownWhileNotHidden(const View& view) {
    const auto* progress = dynamic_cast<const ProgressIndicator*>(&view);
    return !progress || progress->isAnimating() || progress->isDisplayedWhenStopped();
}

}  // namespace platform::desktop
