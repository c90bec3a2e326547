#include "prefpane/BluetoothDevicePanelController.h"

#include "platform/foundation/BluetoothDevice.h"
#include "platform/foundation/Defaults.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Thread.h"
#include "platform/services/Bluetooth.h"
#include "platform/ui/Image.h"
#include "prefglue/PrefGlue.h"
#include "prefpane/PreferenceController.h"
#include "prefpane/SliderLabels.h"
#include "shared/QMASL.h"
#include "shared/SliderCurve.h"
#include "shared/TarnwickConstants.h"

#include <cerrno>
#include <cmath>
#include <utility>

namespace {

constexpr const char* kRefreshImage = "NSRefreshFreestandingTemplate";
constexpr const char* kStopImage = "NSStopProgressFreestandingTemplate";
constexpr int kStopImageSize = 14;

platform::ImageRef stopImage() {
    platform::ImageRef image = platform::Image::named(kStopImage);
    if (image) image->setSize(kStopImageSize, kStopImageSize);
    return image;
}

platform::BluetoothDeviceRef deviceOf(const platform::PopUpItemRef& item) {
    return item ? std::dynamic_pointer_cast<platform::BluetoothDevice>(item->representedObjectRef()) : nullptr;
}

// What the sheet says after a search that ended with `error`, instead of
// leaving the user to guess from an empty list; empty when the list says it.
std::string searchOutcome(int error, bool listedNothing) {
    if (!platform::Bluetooth::isInstalled()) return "This program cannot use Bluetooth.";
    if (error == EPERM || error == EACCES) return "Tarnwick is not allowed to use the Bluetooth adapter.";
    platform::Bluetooth& radio = platform::Bluetooth::shared();
    if (!radio.localDeviceAvailable()) return "No Bluetooth adapter was found.";
    if (radio.localDevicePowerState() != platform::Bluetooth::PowerOn) return "Bluetooth is switched off.";
    if (error != 0) return "The search for devices failed.";
    return listedNothing ? "No devices were found nearby." : "";
}

}  // namespace

BluetoothDevicePanelController::~BluetoothDevicePanelController() {
    // The search's delegate holds only a weak reference; stopping it here
    // ends the radio's work early, and its late answer finds nobody.
    if (deviceInquiry && platform::Bluetooth::isInstalled()) deviceInquiry->stop();
}

const std::string& BluetoothDevicePanelController::appID() const {
    return PreferenceController::appIDOf(preferencesController_);
}

void BluetoothDevicePanelController::awakeFromNib() {
    scanning = false;
    timeToLock->setIntValue(static_cast<int>(PreferencesIntegerValue(kPrefBluetoothTimeout, 0, appID())));
    const bool onlyUnlocks = PreferencesBoolValue(kPrefBluetoothUnlockOnly, false, appID());
    unlockOnly->setState(onlyUnlocks ? 1 : 0);
    sliderMoved(timeToLock.get());
    if (onlyUnlocks) timeToLock->setEnabled(false);
}

std::string BluetoothDevicePanelController::timeoutAsString() const {
    const float value = timeToLock ? timeToLock->floatValue() : 0.0f;
    if (!(value >= 0.5f)) return "immediately";
    if (value < 1.0f) return "after \u00bd minute";
    return "after " + minutesLabel(sliderMinutes(value, sliderCurveExponent()));
}

void BluetoothDevicePanelController::sliderMoved(platform::Object*) {
    if (timeToLockLabel) timeToLockLabel->setStringValue(timeoutAsString());
}

void BluetoothDevicePanelController::checkBoxClicked(platform::Object* sender) {
    if (sender != unlockOnly.get() || !unlockOnly) return;
    timeToLock->setEnabled(unlockOnly->state() != 1);
}

void BluetoothDevicePanelController::refresh(platform::Object*) {
    platform::RunLoop& main = platform::RunLoop::main();
    if (!main.isMainThread()) {
        // The pane starts a search from a background thread; the controls
        // belong to the main thread.
        main.performOnMainThread(
            [weak = weak_from_this()] {
                if (auto self = weak.lock()) self->refresh(nullptr);
            },
            false);
        return;
    }
    if (scanning)
        stopSearch();
    else
        startSearch();
}

void BluetoothDevicePanelController::stopSearch() {
    scanning = false;
    refreshButton->setImage(platform::Image::named(kRefreshImage));
    if (deviceInquiry) {
        deviceInquiry->stop();
        return;
    }
    // Stopped before the radio was asked: no completion will come to tidy up.
    showSearching(false);
    const bool listed = popupButton->numberOfItems() > 0;
    okButton->setEnabled(listed);
    popupButton->setEnabled(listed);
}

void BluetoothDevicePanelController::abandonSearch() {
    scanning = false;
    if (auto inquiry = std::exchange(deviceInquiry, nullptr)) inquiry->stop();
}

void BluetoothDevicePanelController::startSearch() {
    scanning = true;
    // A stopped search whose end has not been announced yet is done with.
    deviceInquiry.reset();
    popupButton->setEnabled(false);
    okButton->setEnabled(false);
    refreshButton->setImage(stopImage());
    showSearching(true);
    showSearchOutcome("");
    popupButton->removeAllItems();
    listStoredDevice();
    platform::Thread::detach([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->startBluetoothQuery();
    });
}

void BluetoothDevicePanelController::listStoredDevice() {
    const auto stored = std::dynamic_pointer_cast<platform::BluetoothDevice>(
        PreferencesObjectValue(kPrefBluetoothDevice, nullptr, appID()));
    if (!stored) return;
    popupButton->addItem(stored->getName(), 0)->setRepresentedObject(platform::ObjectRef(stored));
}

void BluetoothDevicePanelController::startBluetoothQuery() {
    QMLog(7, "STARTING BT QUERY");
    std::weak_ptr<BluetoothDevicePanelController> weak = weak_from_this();
    auto inquiry = platform::BluetoothDeviceInquiry::create(
        [weak](platform::BluetoothDeviceInquiry& finished, int error, bool aborted) {
            auto self = weak.lock();
            // Only the sheet's current search may fill its menu.
            if (self && self->deviceInquiry.get() == &finished) self->deviceInquiryComplete(finished, error, aborted);
        });
    inquiry->setInquiryLength(kInquiryLength);
    platform::RunLoop::main().performOnMainThread(
        [weak, inquiry] {
            if (auto self = weak.lock()) self->beginInquiry(inquiry);
        },
        false);
}

void BluetoothDevicePanelController::beginInquiry(const platform::BluetoothDeviceInquiryRef& inquiry) {
    // The search was stopped, or another one began, before this one could start.
    if (!scanning || deviceInquiry) return;
    deviceInquiry = inquiry;
    const int status = platform::Bluetooth::isInstalled() ? inquiry->start() : ENODEV;
    // Without a radio the search never runs: it ends at once, having found nothing.
    if (status != 0) deviceInquiryComplete(*inquiry, status, false);
}

void BluetoothDevicePanelController::deviceInquiryComplete(platform::BluetoothDeviceInquiry& inquiry, int error,
                                                           bool aborted) {
    scanning = false;
    QMLog(7, "FINISHED BT QUERY");
    listFoundDevices(inquiry.foundDevices());
    inquiry.clearFoundDevices();
    deviceInquiry.reset();
    const bool listed = popupButton->numberOfItems() > 0;
    if (listed) {
        okButton->setEnabled(true);
        popupButton->setEnabled(true);
    }
    showSearching(false);
    // A search the user stopped needs no explanation.
    if (!aborted) showSearchOutcome(searchOutcome(error, !listed));
    refreshButton->setImage(platform::Image::named(kRefreshImage));
}

void BluetoothDevicePanelController::showSearchOutcome(const std::string& text) {
    if (!searchOutcomeLabel) return;
    searchOutcomeLabel->setStringValue(text);
    searchOutcomeLabel->setHidden(text.empty());
}

void BluetoothDevicePanelController::listFoundDevices(const std::vector<platform::BluetoothDeviceRef>& found) {
    const bool hadStored = popupButton->numberOfItems() > 0;
    const platform::BluetoothDeviceRef stored = hadStored ? deviceOf(popupButton->items().front()) : nullptr;
    for (const platform::BluetoothDeviceRef& device : found) {
        if (stored && device->getAddressString() == stored->getAddressString()) continue;
        popupButton->addItem(device->getName(), 0)->setRepresentedObject(platform::ObjectRef(device));
    }
    if (hadStored && found.size() > 1) popupButton->insertItem(platform::PopUpItem::separatorItem(), 1);
}

void BluetoothDevicePanelController::showSearching(bool searching) {
    searching ? progressIndicator->startAnimation() : progressIndicator->stopAnimation();
    refreshLabel->setHidden(!searching);
}

void BluetoothDevicePanelController::ok(platform::Object*) {
    // Without a device there is nothing to choose (the button is disabled then).
    const platform::BluetoothDeviceRef device = deviceOf(popupButton->selectedItem());
    if (!device) return;
    platform::preferences::setAppValue(kPrefBluetoothTimeout, timeToLock->floatValue(), appID());
    platform::preferences::setAppValue(kPrefBluetoothUnlockOnly, unlockOnly->state() == 1, appID());
    // The pane's controller writes the device and announces all three.
    if (preferencesController_) preferencesController_->setBluetoothDevice(device);
    closeSheet();
}

void BluetoothDevicePanelController::cancel(platform::Object*) {
    if (scanning) stopSearch();
    if (preferencesController_) preferencesController_->setBluetoothDevice(nullptr);
    closeSheet();
}

void BluetoothDevicePanelController::closeSheet() {
    if (!preferencesController_ || !preferencesController_->bluetoothPanel()) return;
    platform::Window& panel = *preferencesController_->bluetoothPanel();
    if (platform::Window* parent = panel.sheetParent()) parent->endSheet(panel);
    panel.orderOut();
}
