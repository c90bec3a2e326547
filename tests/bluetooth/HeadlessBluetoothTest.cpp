#include "platform/headless/HeadlessBluetooth.h"
#include "platform/headless/HeadlessEnvironment.h"

#include <gtest/gtest.h>

using namespace platform;
using headless::HeadlessBluetooth;

namespace {

class HeadlessBluetoothTest : public ::testing::Test {
protected:
    void SetUp() override { Bluetooth::install(&bluetooth); }
    void TearDown() override { Bluetooth::install(nullptr); }

    BluetoothDeviceInquiryRef makeInquiry() {
        return BluetoothDeviceInquiry::create([this](BluetoothDeviceInquiry& inquiry, int error, bool aborted) {
            ++completions;
            lastError = error;
            lastAborted = aborted;
            completedAt = env.clock().now();
            found = inquiry.foundDevices();
        });
    }

    headless::HeadlessEnvironment env;
    HeadlessBluetooth bluetooth;
    int completions = 0;
    int lastError = -1;
    bool lastAborted = false;
    double completedAt = 0;
    std::vector<BluetoothDeviceRef> found;
};

TEST_F(HeadlessBluetoothTest, NameRequestCompletesOnTheMainRunLoopAndSetsTheName) {
    bluetooth.addDevice("AA:BB:CC:DD:EE:01", "Phone", HeadlessBluetooth::Response::Answers, 2);
    auto device = std::make_shared<BluetoothDevice>("AA:BB:CC:DD:EE:01", "");
    EXPECT_EQ(device->getName(), "AA:BB:CC:DD:EE:01");
    int status = -1;
    double at = 0;
    const double start = env.clock().now();
    ASSERT_EQ(bluetooth.remoteNameRequest(device, this,
                                          [&](const BluetoothDeviceRef&, int s) {
                                              status = s;
                                              at = env.clock().now() - start;
                                          }),
              0);
    EXPECT_EQ(status, -1) << "never within the call";
    env.advance(5);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(at, 2);
    EXPECT_EQ(device->getName(), "Phone");
}

TEST_F(HeadlessBluetoothTest, CancelledOwnerHearsNothing) {
    bluetooth.addDevice("AA:BB:CC:DD:EE:01", "Phone");
    bool heard = false;
    ASSERT_EQ(bluetooth.remoteNameRequest(std::make_shared<BluetoothDevice>("AA:BB:CC:DD:EE:01", ""), this,
                                          [&](const BluetoothDeviceRef&, int) { heard = true; }),
              0);
    bluetooth.cancelRemoteNameRequests(this);
    env.advance(1);
    EXPECT_FALSE(heard);
}

TEST_F(HeadlessBluetoothTest, SearchFindsDevicesInRangeAfterItsLength) {
    bluetooth.addDevice("AA:BB:CC:DD:EE:01", "Phone");
    bluetooth.addDevice("AA:BB:CC:DD:EE:02", "Gone", HeadlessBluetooth::Response::Silent);
    bluetooth.addDevice("AA:BB:CC:DD:EE:03", "Watch");
    auto inquiry = makeInquiry();
    inquiry->setInquiryLength(5);
    const double start = env.clock().now();
    ASSERT_EQ(inquiry->start(), 0);
    EXPECT_NE(inquiry->start(), 0) << "a running search is not started twice";
    env.advance(10);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(completedAt - start, 5);
    EXPECT_FALSE(lastAborted);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0]->getName(), "Phone");
    EXPECT_EQ(found[1]->getAddressString(), "AA:BB:CC:DD:EE:03");
    inquiry->clearFoundDevices();
    EXPECT_TRUE(inquiry->foundDevices().empty());
}

TEST_F(HeadlessBluetoothTest, StoppedSearchCompletesOnceAsAborted) {
    bluetooth.addDevice("AA:BB:CC:DD:EE:01", "Phone");
    auto inquiry = makeInquiry();
    inquiry->setInquiryLength(5);
    ASSERT_EQ(inquiry->start(), 0);
    env.advance(1);
    inquiry->stop();
    env.advance(10);
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(lastAborted);
    EXPECT_EQ(found.size(), 1u);
}

TEST_F(HeadlessBluetoothTest, SwitchedOffControllerRefusesRequestsAndFindsNothing) {
    bluetooth.addDevice("AA:BB:CC:DD:EE:01", "Phone");
    bluetooth.setController(HeadlessBluetooth::Controller::Off);
    EXPECT_NE(bluetooth.localDevicePowerState(), Bluetooth::PowerOn);
    EXPECT_NE(bluetooth.remoteNameRequest(std::make_shared<BluetoothDevice>("AA:BB:CC:DD:EE:01", ""), this,
                                          [](const BluetoothDeviceRef&, int) {}),
              0);
    auto inquiry = makeInquiry();
    ASSERT_EQ(inquiry->start(), 0);
    env.advance(20);
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(found.empty());
}

}  // namespace
