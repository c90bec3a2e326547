#pragma once

#include "platform/ui/Window.h"

#include <memory>

class BluetoothDevicePanelController;

// Builds the Bluetooth device sheet, connects its controls to `owner`'s
// fields (each control's identifier is its field's name) and their actions
// to its handlers, and answers the sheet.
std::shared_ptr<platform::Window> loadBluetoothPanelInterface(BluetoothDevicePanelController& owner);
