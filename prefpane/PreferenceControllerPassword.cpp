#include "prefpane/PreferenceController.h"

#include "platform/foundation/Defaults.h"
#include "platform/services/LayoutCharacters.h"
#include "platform/services/Processes.h"
#include "platform/ui/Alert.h"
#include "prefpane/BluetoothDevicePanelController.h"
#include "shared/InputField.h"
#include "shared/TarnwickConstants.h"

namespace {

void showPasswordAlert(const std::string& message, const std::string& informative) {
    platform::Alert::withMessage(message, "Ok", "", "", informative).runModal();
}

// The characters of `password` that the keyboard cannot type at the lock
// screen, separated by spaces; empty when it can type them all.
std::string untypableCharacters(const std::string& password) {
    if (!platform::LayoutCharacters::isInstalled()) return {};
    std::string list;
    for (const std::string& character : platform::LayoutCharacters::shared().untypable(password))
        list += (list.empty() ? "" : " ") + character;
    return list;
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
    if (const std::string missing = untypableCharacters(newPassword->stringValue()); !missing.empty()) {
        showPasswordAlert("Password cannot be typed",
                          "The keyboard layout in use cannot type these characters at the lock screen: " + missing +
                              ". Choose a password without them, or switch to a layout that has them.");
        newPassword->setStringValue("");
        newPasswordRepeat->setStringValue("");
        passwordPanel->makeFirstResponder(newPassword.get());
        return;
    }
    const std::string digest = newPassword->md5String();
    if (!storePassword(digest)) {
        showPasswordAlert("Password not changed",
                          std::string("The new password could not be written to the settings file (the disk may be "
                                      "full, or the folder read-only). ") +
                              (currentPasswordMd5.empty() ? "Tarnwick still has no password."
                                                          : "The old password still unlocks the screen."));
        return;
    }
    currentPasswordMd5 = digest;
    passwordDidChange = true;
    showPasswordState("Password changed.", platform::Color::black(), true);
    closePasswordWindow(this);
    synchronizeWithApplication();
}

bool PreferenceController::storePassword(const std::string& digest) {
    const platform::Value previousPassword = platform::preferences::copyAppValue(kPrefPassword, appID_);
    const platform::Value previousSource = platform::preferences::copyAppValue(kPrefPasswordInputSource, appID_);
    writeValue(kPrefPassword, digest);
    writeValue(kPrefPasswordInputSource, platform::InputSources::shared().current());
    if (flushSettings()) return true;
    // A password the user was told is unchanged must not reach the file
    // later, with some other change.
    writeValue(kPrefPassword, previousPassword);
    writeValue(kPrefPasswordInputSource, previousSource);
    return false;
}
