#include "prefpane/PreferenceController.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/Thread.h"
#include "platform/ui/OpenPanel.h"
#include "prefpane/BluetoothDevicePanelController.h"
#include "prefpane/SliderLabels.h"
#include "shared/QMASL.h"
#include "shared/TarnwickConstants.h"
#include "shared/TarnwickPaths.h"

#include <algorithm>
#include <cstdint>

namespace {

// The tag of a chosen pop-up item, or of the control that sent the action.
int tagOf(platform::Object* sender) {
    if (auto* item = dynamic_cast<platform::PopUpItem*>(sender)) return item->tag();
    if (auto* control = dynamic_cast<platform::Control*>(sender)) return control->tag();
    return 0;
}

platform::Value shortNumber(int value) { return platform::Value(static_cast<int>(static_cast<std::int16_t>(value))); }

}  // namespace

void PreferenceController::checkBoxClicked(platform::Object* sender) {
    if (sender == startOnLoginCheckbox.get()) {
        startAtLogin(startOnLoginCheckbox->state());
        return;
    }
    if (sender == lockViaBluetooth.get()) {
        if (lockViaBluetooth->state() == 1) {
            openBluetoothPanel(sender);
            return;
        }
        bluetoothDeviceName->setStringValue("");
        writeValue(kPrefLockViaBluetooth, false);
        synchronizeWithApplication();
        return;
    }
    const auto& settings = checkBoxSettings();
    const auto setting = std::find_if(settings.begin(), settings.end(), [&](const CheckBoxSetting& s) {
        return sender && (this->*s.box).get() == sender;
    });
    if (setting == settings.end()) {
        QMLog(7, "Unknown button pressed!");
        return;
    }
    const platform::Button& box = *(this->*setting->box);
    writeCheckBox(setting->key, box);
    if (&box == showLogOnUnlock.get() && showLogOnUnlockAfterFailedUnlock)
        showLogOnUnlockAfterFailedUnlock->setEnabled(box.state() == 1);
    synchronizeWithApplication();
    // The application shows its Dock icon or not only as it starts.
    if (&box == showInDock.get() && applicationIsRunning()) {
        showApplicationState(ApplicationButtonState::Waiting);
        wantRestart = true;
        stopApplicationOnItsOwnThread();
    }
}

void PreferenceController::startAtLogin(int flag) { TarnwickPaths::startAtLogin(flag); }

std::string PreferenceController::sliderLabel(const SliderSetting& setting) const {
    const platform::Slider& slider = *(this->*setting.slider);
    if (!setting.unit) return inactivityLabel(slider.floatValue(), f);
    return countLabel(slider.intValue(), setting.unit);
}

void PreferenceController::sliderMoved(platform::Object* sender) {
    auto* moved = dynamic_cast<platform::Slider*>(sender);
    if (!moved) return;
    const auto& settings = sliderSettings();
    auto setting = std::find_if(settings.begin(), settings.end(),
                                [&](const SliderSetting& s) { return (this->*s.slider).get() == moved; });
    if (setting == settings.end()) setting = settings.end() - 1;
    if (!(this->*setting->slider)) return;
    if (platform::TextField* label = (this->*setting->label).get()) label->setStringValue(sliderLabel(*setting));
    if (setting->unit)
        writeValue(setting->key, moved->intValue());
    else
        writeValue(setting->key, moved->floatValue());
    synchronizeWithApplication();
}

void PreferenceController::lockScreenDelayChanged(platform::Object*) {
    const platform::PopUpItemRef item =
        lockScreenDelayPopupButton ? lockScreenDelayPopupButton->selectedItem() : nullptr;
    if (!item) return;
    writeValue(kPrefLockScreenDelay, item->tag());
    synchronizeWithApplication();
}

void PreferenceController::setDimScreenBehaviour(platform::Object* sender) {
    writeValue(kPrefDimScreenMode, shortNumber(tagOf(sender)));
    synchronizeWithApplication();
}

void PreferenceController::setThreeWrongsImage(platform::Object* sender) {
    writeValue(kPrefThreeWrongPasswordsImage, shortNumber(tagOf(sender)));
    synchronizeWithApplication();
}

void PreferenceController::setSaveImagesType(platform::Object* sender) {
    if (dynamic_cast<platform::PopUpButton*>(sender)) return;
    writeValue(kPrefSaveImagesImmediately, tagOf(sender) != 1);
    synchronizeWithApplication();
}

void PreferenceController::setSaveImagesPath(platform::Object*) {
    platform::OpenPanel panel;
    panel.canChooseFiles = false;
    panel.canChooseDirectories = true;
    panel.allowsMultipleSelection = false;
    panel.canCreateDirectories = true;
    const std::string shown = saveImagesTo ? platform::paths::expandTilde(saveImagesTo->stringValue()) : std::string();
    if (panel.runModalForDirectory(shown) != platform::OpenPanel::OKButton) return;
    const std::string folder = panel.filename();
    if (saveImagesTo) saveImagesTo->setStringValue(platform::paths::abbreviateWithTilde(folder));
    writeValue(kPrefSaveImagesPath, folder);
    synchronizeWithApplication();
}

void PreferenceController::openBluetoothPanel(platform::Object*) {
    if (!bluetoothPanel_ || !bluetoothDevicePanelController) return;
    beginSheet(*bluetoothPanel_);
    // The search starts from a thread of its own, which must not keep the sheet's controller alive.
    platform::Thread::detach([sheet = std::weak_ptr<BluetoothDevicePanelController>(bluetoothDevicePanelController)] {
        if (auto controller = sheet.lock()) controller->refresh(nullptr);
    });
}

void PreferenceController::setBluetoothDevice(const platform::ObjectRef& device) {
    if (device) {
        writeValue(kPrefLockViaBluetooth, true);
        writeValue(kPrefBluetoothDevice, platform::KeyedArchiver::archivedDataWithRootObject(device));
    }
    showBluetoothDevice(device);
    synchronizeWithApplication();
}

void PreferenceController::openExceptionsPanel(platform::Object*) {
    if (!exceptionsPanel || exceptionsPanel->isVisible()) return;
    beginSheet(*exceptionsPanel);
}

void PreferenceController::hideExceptionsPanel(platform::Object*) {
    if (exceptionsPanel) endSheet(*exceptionsPanel);
    synchronizeWithApplication();
}
