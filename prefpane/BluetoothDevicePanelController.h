#pragma once

#include <string>

class PreferenceController;

// The controller of the Bluetooth device sheet, as the pane's controller
// calls it: the device search, started in the background when the sheet
// opens, and the wording of the chosen time-out. The sheet hands its result
// back with PreferenceController::setBluetoothDevice.
class BluetoothDevicePanelController {
public:
    virtual ~BluetoothDevicePanelController() = default;
    virtual void refresh(PreferenceController* sender) = 0;
    virtual std::string timeoutAsString() const = 0;
};
