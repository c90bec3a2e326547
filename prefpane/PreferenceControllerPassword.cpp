#include "prefpane/PreferenceController.h"

#include "platform/services/Processes.h"
#include "platform/ui/Alert.h"
#include "prefpane/BluetoothDevicePanelController.h"
#include "shared/InputField.h"
#include "shared/TarnwickConstants.h"

namespace {

void showPasswordAlert(const std::string& message, const std::string& informative) {
    platform::Alert::withMessage(message, "Ok", "", "", informative).runModal();
}

}  // namespace

void PreferenceController::beginSheet(platform::Window& sheet) {
    if (contentView && contentView->window()) contentView->window()->beginSheet(sheet);
}

void PreferenceController::endSheet(platform::Window& sheet) {
    if (platform::Window* parent = sheet.sheetParent()) parent->endSheet(sheet);
    sheet.orderOut();
}

void PreferenceController::openPasswordWindow(platform::Object*) {
    if (!passwordPanel) return;
    oldPassword->setEditable(!currentPasswordMd5.empty());
    for (const auto& field : {oldPassword, newPassword, newPasswordRepeat}) field->setStringValue("");
    beginSheet(*passwordPanel);
    passwordPanel->makeFirstResponder(currentPasswordMd5.empty() ? newPassword.get() : oldPassword.get());
}

void PreferenceController::closePasswordWindow(platform::Object*) {
    if (passwordPanel) endSheet(*passwordPanel);
}

bool PreferenceController::windowShouldClose(platform::Window& window) {
    if (&window == passwordPanel.get()) closePasswordWindow(&window);
    if (&window == scriptPanel.get()) scriptDetailsAborted(&window);
    if (&window == bluetoothPanel_.get() && bluetoothDevicePanelController)
        bluetoothDevicePanelController->cancel(&window);
    if (&window == exceptionsPanel.get()) hideExceptionsPanel(&window);
    return false;
}

void PreferenceController::passwordFieldAction(platform::Object* sender) {
    if (sender == oldPassword.get())
        passwordPanel->makeFirstResponder(newPassword.get());
    else if (sender == newPassword.get())
        passwordPanel->makeFirstResponder(newPasswordRepeat.get());
    else
        changePassword->performClick();
}

void PreferenceController::passwordEntered(platform::Object*) {
    if (!currentPasswordMd5.empty() && oldPassword->md5String() != currentPasswordMd5) {
        showPasswordAlert("Wrong password", "The password you provided does not match the currently set password.");
        passwordPanel->makeFirstResponder(oldPassword.get());
        return;
    }
    if (newPassword->stringValue() != newPasswordRepeat->stringValue()) {
        showPasswordAlert("Password missmatch", "The passwords you provided don't match.");
        newPassword->setStringValue("");
        newPasswordRepeat->setStringValue("");
        passwordPanel->makeFirstResponder(newPassword.get());
        return;
    }
    if (newPassword->stringValue().empty()) {
        showPasswordAlert("Password empty", "You did not provide a new password.");
        passwordPanel->makeFirstResponder(newPassword.get());
        return;
    }
    const std::string digest = newPassword->md5String();
    writeValue(kPrefPassword, digest);
    writeValue(kPrefPasswordInputSource, platform::InputSources::shared().current());
    currentPasswordMd5 = digest;
    passwordDidChange = true;
    showPasswordState("Password changed.", platform::Color::black(), true);
    closePasswordWindow(this);
    synchronizeWithApplication();
}
