#include "prefpane/BluetoothPanelInterface.h"

#include "platform/ui/Image.h"
#include "platform/ui/Layout.h"
#include "prefpane/InterfaceBuilding.h"
#include "prefpane/BluetoothDevicePanelController.h"

#include <string>

namespace {

using interface_building::addLabelledRow;
using interface_building::label;
using interface_building::named;
using interface_building::pushButton;
using platform::Button;
using Orientation = platform::StackView::Orientation;

// The time-out curve reaches three hours here.
constexpr double kLongestTimeout = 270;
constexpr int kTimeoutTickMarks = 10;

}  // namespace

std::shared_ptr<platform::Window> loadBluetoothPanelInterface(BluetoothDevicePanelController& o) {
    o.popupButton = named(std::make_shared<platform::PopUpButton>(platform::Rect{0, 0, 220, 0}), "popupButton");
    o.refreshButton = pushButton("refreshButton", "", [&o](Button& sender) { o.refresh(&sender); });
    o.refreshButton->setImage(platform::Image::named("NSRefreshFreestandingTemplate"));
    o.refreshButton->setToolTip("Search for devices again");
    o.progressIndicator =
        named(std::make_shared<platform::ProgressIndicator>(platform::Rect{0, 0, 60, 0}), "progressIndicator");
    o.progressIndicator->setDisplayedWhenStopped(false);
    o.refreshLabel = label("refreshLabel", 0);
    o.refreshLabel->setStringValue("Searching for devices\u2026");
    o.refreshLabel->setHidden(true);
    auto deviceRow = std::make_shared<platform::StackView>(Orientation::Horizontal);
    deviceRow->add(o.popupButton);
    deviceRow->add(o.refreshButton);
    deviceRow->add(o.progressIndicator);
    deviceRow->add(o.refreshLabel);

    o.timeToLock = named(std::make_shared<platform::Slider>(platform::Rect{0, 0, 220, 0}), "timeToLock");
    o.timeToLock->setRange(0, kLongestTimeout);
    o.timeToLock->setNumberOfTickMarks(kTimeoutTickMarks);
    o.timeToLock->setAllowsTickMarkValuesOnly(false);
    o.timeToLock->setAction([&o](platform::Slider& sender) { o.sliderMoved(&sender); });
    o.timeToLockLabel = label("timeToLockLabel", 150);
    auto timeoutRow = std::make_shared<platform::StackView>(Orientation::Horizontal);
    timeoutRow->add(o.timeToLock);
    timeoutRow->add(o.timeToLockLabel);

    o.unlockOnly = pushButton("unlockOnly", "Only unlock with this device, never lock",
                              [&o](Button& sender) { o.checkBoxClicked(&sender); });
    o.unlockOnly->setCheckbox(true);

    auto form = std::make_shared<platform::FormView>();
    form->addRow("Device:", deviceRow);
    addLabelledRow(*form, "Lock when it is away:", timeoutRow, *o.timeToLock);

    o.cancelButton = pushButton("cancelButton", "Cancel", [&o](Button& sender) { o.cancel(&sender); });
    o.okButton = pushButton("okButton", "OK", [&o](Button& sender) { o.ok(&sender); });
    o.okButton->setEnabled(false);
    auto buttons = std::make_shared<platform::StackView>(Orientation::Horizontal);
    buttons->add(o.cancelButton);
    buttons->add(o.okButton);

    o.searchOutcomeLabel = label("searchOutcomeLabel", 0);
    o.searchOutcomeLabel->setHidden(true);

    auto content = named(std::make_shared<platform::StackView>(Orientation::Vertical, 12), "bluetoothPanel");
    content->add(form);
    content->add(o.searchOutcomeLabel);
    content->add(o.unlockOnly);
    content->add(buttons);
    auto sheet = std::make_shared<platform::Window>(platform::Rect{0, 0, 520, 150});
    sheet->setTitle("Tarnwick Bluetooth Device");
    sheet->setContentView(content);
    return sheet;
}
