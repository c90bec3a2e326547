#include "app/AppTestFixture.h"
#include "app/BluetoothController.h"
#include "bluetooth/BluetoothTestSupport.h"
#include "platform/headless/HeadlessBluetooth.h"

// The monitor together with the lock controller: the device's absence locks
// the screen, its return unlocks it.

namespace {

using platform::headless::HeadlessBluetooth;

class ProximityLockTest : public apptest::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        platform::Bluetooth::install(&bluetooth);
        bluetooth_test::storeDevice(bluetooth.addDevice(bluetooth_test::kPhoneAddress, "Phone"));
        set(kPrefLockViaBluetooth, true);
        set(kPrefBluetoothTimeout, 0.5);  // 30 seconds
        launch();
        ASSERT_NE(app->proximityMonitor(), nullptr);
    }
    void TearDown() override {
        AppTest::TearDown();
        platform::Bluetooth::install(nullptr);
    }
    void deviceResponds(HeadlessBluetooth::Response response) {
        bluetooth.setResponse(bluetooth_test::kPhoneAddress, response);
    }
    std::size_t count(const std::string& name) const {
        std::size_t n = 0;
        for (const std::string& e : eventNames()) n += e == name;
        return n;
    }

    HeadlessBluetooth bluetooth;
};

TEST_F(ProximityLockTest, DeviceGoingAwayLocksAndComingBackUnlocks) {
    EXPECT_EQ(app->proximityMonitor()->secondsUntilLock(), 30);
    env.advance(12);
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "the device is near";

    deviceResponds(HeadlessBluetooth::Response::Silent);
    env.advance(30);
    EXPECT_EQ(app->lockState(), LockState::Unlocked) << "away for 30 seconds: not yet";
    env.advance(6);
    EXPECT_EQ(app->lockState(), LockState::Locked);
    EXPECT_TRUE(app->lockWindow());
    EXPECT_EQ(count(kScreenLockedEvent), 1u);

    // Further lock requests find the screen locked.
    env.advance(30);
    EXPECT_EQ(count(kScreenLockedEvent), 1u);

    deviceResponds(HeadlessBluetooth::Response::Answers);
    env.advance(6);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_FALSE(app->lockWindow());
    EXPECT_EQ(eventNames(), (std::vector<std::string>{kScreenLockedEvent, kScreenUnlockedEvent}));
}

TEST_F(ProximityLockTest, LockByHandWhileTheDeviceIsNearStaysUntilThePassword) {
    lockAndSettle();
    ASSERT_EQ(app->lockState(), LockState::Locked);
    env.advance(60);
    EXPECT_EQ(app->lockState(), LockState::Locked)
        << "the device's presence does not undo a lock made while it was near";

    wakeLockScreen();
    enter(apptest::kPassword);
    env.advance(1);
    EXPECT_EQ(app->lockState(), LockState::Unlocked);
    EXPECT_TRUE(app->proximityMonitor()->isLockingEnabled());
}

TEST_F(ProximityLockTest, ADeviceChosenWhileLockedNeverUnlocksThatLock) {
    set(kPrefLockViaBluetooth, false);
    env.advance(12);
    lockAndSettle();
    writtenByAnotherProgram({{kPrefLockViaBluetooth, true}});
    env.advance(60);
    EXPECT_EQ(app->lockState(), LockState::Locked) << "the device near, but not chosen when the lock began";
}

}  // namespace
