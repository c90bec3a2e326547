#include "app/BluetoothController.h"

// Placeholder until the proximity monitor lands: no controller.

std::unique_ptr<BluetoothController> BluetoothController::init() { return nullptr; }

BluetoothController::BluetoothController() = default;

BluetoothController::~BluetoothController() = default;

void BluetoothController::terminate() {}
