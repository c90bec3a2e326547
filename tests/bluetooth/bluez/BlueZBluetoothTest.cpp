#include "app/BluetoothController.h"
#include "platform/desktop/bluez/BlueZBluetooth.h"
#include "platform/headless/HeadlessEnvironment.h"
#include "shared/QMASL.h"

#include <gtest/gtest.h>

#include <cerrno>

// The BlueZ backend on the machine the tests run on. Build machines have no
// Bluetooth adapter, so what can be checked everywhere is the absent case;
// with an adapter the checks that need its absence are skipped.

namespace {

class BlueZBluetoothTest : public ::testing::Test {
protected:
    void SetUp() override {
        qmasl::resetLevelForTesting(7);
        platform::Bluetooth::install(&bluez);
    }
    void TearDown() override {
        platform::Bluetooth::install(nullptr);
        qmasl::resetLevelForTesting(-1);
    }

    platform::headless::HeadlessEnvironment env;
    platform::desktop::BlueZBluetooth bluez;
};

TEST_F(BlueZBluetoothTest, WithoutAdapterThereIsNoControllerAndNoMonitor) {
    if (bluez.localDeviceAvailable()) GTEST_SKIP() << "this machine has a Bluetooth adapter";
    EXPECT_NE(bluez.localDevicePowerState(), platform::Bluetooth::PowerOn);
    auto device = std::make_shared<platform::BluetoothDevice>("00:1A:7D:DA:71:13", "Phone");
    bool heard = false;
    EXPECT_NE(bluez.remoteNameRequest(device, this, [&](const platform::BluetoothDeviceRef&, int) { heard = true; }),
              0);
    auto inquiry = platform::BluetoothDeviceInquiry::create([](platform::BluetoothDeviceInquiry&, int, bool) {});
    EXPECT_NE(inquiry->start(), 0);
    EXPECT_FALSE(inquiry->isRunning());

    EXPECT_EQ(BluetoothController::init(), nullptr);
    EXPECT_TRUE(env.logged("Not enabling BT component: No Bluetooth device available on this machine."));
    env.advance(1);
    EXPECT_FALSE(heard);
}

TEST_F(BlueZBluetoothTest, MalformedAddressIsRefusedBeforeAnythingIsSent) {
    // Checked before the adapter is even looked for, so with or without one.
    auto device = std::make_shared<platform::BluetoothDevice>("not an address", "");
    EXPECT_EQ(bluez.remoteNameRequest(device, this, [](const platform::BluetoothDeviceRef&, int) {}), EINVAL);
}

}  // namespace
