#include "app/BluetoothController.h"
#include "bluetooth/BluetoothTestSupport.h"
#include "platform/headless/HeadlessBluetooth.h"
#include "platform/headless/HeadlessEnvironment.h"
#include "shared/QMASL.h"
#include "shared/TarnwickConstants.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::Defaults;
using platform::NotificationCenter;
using platform::headless::HeadlessBluetooth;
using Response = HeadlessBluetooth::Response;
using namespace bluetooth_test;

namespace {

struct Request {
    double at;  // seconds since the monitor was created
    std::string name;
    bool hasObject;
};

class BluetoothControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        qmasl::resetLevelForTesting(7);
        platform::Bluetooth::install(&bluetooth);
        phone = bluetooth.addDevice(kPhoneAddress, "Phone");
        storeDevice(phone);
        Defaults::standard().setObject(true, kPrefLockViaBluetooth);
        start = env.clock().now();
        for (const char* name : {kLockRequest, kUnlockRequest}) {
            NotificationCenter::defaultCenter().addObserver(this, name, {}, [this](const platform::NotificationRef& n) {
                requests.push_back({env.clock().now() - start, n->name(), !n->object().isNull()});
            });
        }
    }

    void TearDown() override {
        monitor.reset();
        NotificationCenter::defaultCenter().removeObserver(this);
        platform::Bluetooth::install(nullptr);
        qmasl::resetLevelForTesting(-1);
    }

    void createMonitor(std::int32_t secondsUntilLock = 30) {
        monitor = BluetoothController::init();
        ASSERT_NE(monitor, nullptr);
        monitor->setSecondsUntilLock(secondsUntilLock);
        // Delivers the outcome of the poll made at creation.
        env.advance(0);
    }

    void answers() { bluetooth.setResponse(kPhoneAddress, Response::Answers); }
    void silent() { bluetooth.setResponse(kPhoneAddress, Response::Silent); }
    void postScreenLocked() { NotificationCenter::defaultCenter().post(kScreenLockedEvent); }
    void postScreenUnlocked() { NotificationCenter::defaultCenter().post(kScreenUnlockedEvent); }

    std::vector<double> requestTimes(const char* name) const {
        std::vector<double> times;
        for (const Request& r : requests)
            if (r.name == name) times.push_back(r.at);
        return times;
    }
    std::size_t count(const std::string& text) const { return env.logLinesContaining(text).size(); }

    platform::headless::HeadlessEnvironment env;
    HeadlessBluetooth bluetooth;
    platform::BluetoothDeviceRef phone;
    std::unique_ptr<BluetoothController> monitor;
    std::vector<Request> requests;
    double start = 0;
};

TEST_F(BluetoothControllerTest, NoControllerMeansNoMonitor) {
    bluetooth.setController(HeadlessBluetooth::Controller::Absent);
    EXPECT_EQ(BluetoothController::init(), nullptr);
    EXPECT_TRUE(env.logged("Not enabling BT component: No Bluetooth device available on this machine."));
    EXPECT_EQ(bluetooth.nameRequestCount(), 0u);

    qmasl::resetLevelForTesting(4);
    env.clearLog();
    EXPECT_EQ(BluetoothController::init(), nullptr);
    EXPECT_TRUE(env.logLines().empty()) << "the line is a level-7 trace";
}

TEST_F(BluetoothControllerTest, PollsAtCreationAndThenEverySixSeconds) {
    createMonitor();
    EXPECT_EQ(bluetooth.nameRequestCount(), 1u);
    EXPECT_TRUE(env.logged("Issuing Bluetooth request for device."));
    EXPECT_TRUE(env.logged("remoteNameRequest issued to device Phone: 0"));
    EXPECT_TRUE(env.logged("Bluetooth query succeeded."));
    env.advance(30);
    EXPECT_EQ(bluetooth.nameRequestCount(), 6u);
    EXPECT_EQ(count("remoteNameRequest issued to device Phone: 0"), 6u);
}

TEST_F(BluetoothControllerTest, LocksOnceTheAbsenceExceedsTheLimitAndAtEveryFailedPollAfter) {
    createMonitor(30);
    silent();
    env.advance(30);
    for (int waited : {6, 12, 18, 24, 30})
        EXPECT_EQ(count("Device not found, but have only waited for " + std::to_string(waited) + " out of 30 seconds"),
                  1u)
            << waited;
    EXPECT_TRUE(requestTimes(kLockRequest).empty());
    EXPECT_FALSE(monitor->isDeviceNear());
    EXPECT_TRUE(env.logged("Bluetooth query failed: 4"));

    env.advance(18);
    EXPECT_EQ(requestTimes(kLockRequest), (std::vector<double>{36, 42, 48}));
    EXPECT_EQ(count("BT LOCK"), 3u);
    for (const Request& r : requests) EXPECT_FALSE(r.hasObject) << r.name;
}

TEST_F(BluetoothControllerTest, DeviceNeverSeenNeverLocksAndItsFirstAnswerUnlocks) {
    silent();
    createMonitor(30);
    env.advance(120);
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(count("remoteNameRequest returned 4; enableLocking: 0"), 21u);
    EXPECT_FALSE(env.logged("BT LOCK"));

    answers();
    env.advance(6);
    EXPECT_EQ(requestTimes(kUnlockRequest), (std::vector<double>{126}));
    EXPECT_TRUE(env.logged("BT UNLOCK"));
    EXPECT_TRUE(monitor->isDeviceNear());
    EXPECT_TRUE(monitor->isLockingEnabled());
}

TEST_F(BluetoothControllerTest, AnswerPostsUnlockRequestAtEveryPollUntilALockWhileNear) {
    createMonitor();
    env.advance(12);
    EXPECT_EQ(requestTimes(kUnlockRequest), (std::vector<double>{0, 6, 12}));

    // Locked by the hot key while the device is near: its presence does not undo that.
    postScreenLocked();
    EXPECT_FALSE(monitor->isUnlockingEnabled());
    env.advance(60);
    EXPECT_EQ(requestTimes(kUnlockRequest).size(), 3u);

    // Away for a moment and back: now the screen is unlocked.
    silent();
    env.advance(6);
    EXPECT_TRUE(monitor->isUnlockingEnabled());
    EXPECT_TRUE(requestTimes(kLockRequest).empty());
    answers();
    env.advance(6);
    EXPECT_EQ(requestTimes(kUnlockRequest).back(), 84);
}

TEST_F(BluetoothControllerTest, UnlockByPasswordWhileAwayHoldsLockRequestsUntilTheDeviceAnswersAgain) {
    createMonitor(30);
    silent();
    env.advance(36);
    ASSERT_EQ(requestTimes(kLockRequest), (std::vector<double>{36}));
    postScreenLocked();
    EXPECT_TRUE(monitor->isUnlockingEnabled());

    // The user unlocks with the password while the device stays away.
    postScreenUnlocked();
    EXPECT_FALSE(monitor->isLockingEnabled());
    env.advance(60);
    EXPECT_EQ(requestTimes(kLockRequest).size(), 1u);
    EXPECT_TRUE(env.logged("remoteNameRequest returned 4; enableLocking: 0"));

    // Seen once again (at 102), then away past the limit: locking resumes.
    answers();
    env.advance(6);
    silent();
    env.advance(30);
    EXPECT_EQ(requestTimes(kLockRequest).size(), 1u);
    env.advance(6);
    EXPECT_EQ(requestTimes(kLockRequest), (std::vector<double>{36, 138}));
}

TEST_F(BluetoothControllerTest, UnlockOnlyNeverLocksAndALockAfterAnAnswerStopsUnlocking) {
    Defaults::standard().setObject(true, kPrefBluetoothUnlockOnly);
    createMonitor(30);
    EXPECT_EQ(requestTimes(kUnlockRequest), (std::vector<double>{0}));

    silent();
    env.advance(120);
    EXPECT_TRUE(requestTimes(kLockRequest).empty());
    EXPECT_EQ(count("remoteNameRequest returned 4; enableLocking: 1"), 20u);
    EXPECT_FALSE(env.logged("Bluetooth query failed"));
    EXPECT_TRUE(monitor->isDeviceNear()) << "failed polls change nothing in this mode";

    // Locked by hand while the device is away: taken as near, so no unlock on its return.
    postScreenLocked();
    EXPECT_FALSE(monitor->isUnlockingEnabled());
    answers();
    env.advance(6);
    EXPECT_EQ(requestTimes(kUnlockRequest).size(), 1u);
}

TEST_F(BluetoothControllerTest, UnlockOnlyStillUnlocksAfterALockMadeWhileTheDeviceWasNeverSeen) {
    Defaults::standard().setObject(true, kPrefBluetoothUnlockOnly);
    silent();
    createMonitor(30);
    postScreenLocked();
    env.advance(30);
    answers();
    env.advance(6);
    EXPECT_EQ(requestTimes(kUnlockRequest), (std::vector<double>{36}));
    EXPECT_TRUE(requestTimes(kLockRequest).empty());
}

TEST_F(BluetoothControllerTest, SlowAnswerMakesTheNextPollsSkip) {
    bluetooth.setResponse(kPhoneAddress, Response::Answers, 10);
    monitor = BluetoothController::init();
    ASSERT_NE(monitor, nullptr);
    env.advance(6);
    EXPECT_EQ(count("Skipping BT check: Another query is currently active."), 1u);
    EXPECT_EQ(bluetooth.nameRequestCount(), 1u);
    EXPECT_TRUE(requests.empty());

    env.advance(4);
    EXPECT_EQ(requestTimes(kUnlockRequest), (std::vector<double>{10}));
    env.advance(2);
    EXPECT_EQ(bluetooth.nameRequestCount(), 2u) << "the poll after the answer asks again";
}

TEST_F(BluetoothControllerTest, PowerOffEndsPollsQuietly) {
    bluetooth.setController(HeadlessBluetooth::Controller::Off);
    monitor = BluetoothController::init();
    ASSERT_NE(monitor, nullptr);
    env.advance(60);
    EXPECT_EQ(bluetooth.nameRequestCount(), 0u);
    EXPECT_TRUE(env.logLines().empty());
    EXPECT_TRUE(requests.empty());

    bluetooth.setController(HeadlessBluetooth::Controller::On);
    env.advance(6);
    EXPECT_EQ(bluetooth.nameRequestCount(), 1u);
    EXPECT_EQ(requestTimes(kUnlockRequest), (std::vector<double>{66}));
}

TEST_F(BluetoothControllerTest, MonitoringOffOrNoDeviceEndsPollsQuietly) {
    Defaults::standard().setObject(false, kPrefLockViaBluetooth);
    createMonitor();
    env.advance(12);
    Defaults::standard().setObject(true, kPrefLockViaBluetooth);
    Defaults::standard().removeObject(kPrefBluetoothDevice);
    env.advance(12);
    EXPECT_EQ(bluetooth.nameRequestCount(), 0u);
    EXPECT_TRUE(env.logLines().empty());

    // Both are read at every poll.
    storeDevice(phone);
    env.advance(6);
    EXPECT_EQ(bluetooth.nameRequestCount(), 1u);
}

TEST_F(BluetoothControllerTest, UnreadableStoredDeviceCountsAsNoDevice) {
    Defaults::standard().setObject(platform::Data{'n', 'o', 't', ' ', 'a', 'n', ' ', 'a', 'r', 'c', 'h', 'i', 'v', 'e'},
                                   kPrefBluetoothDevice);
    createMonitor();
    env.advance(12);
    EXPECT_EQ(bluetooth.nameRequestCount(), 0u);
    EXPECT_TRUE(env.logLines().empty());

    Defaults::standard().setObject("a string, not data", kPrefBluetoothDevice);
    env.advance(6);
    EXPECT_EQ(bluetooth.nameRequestCount(), 0u);

    // The query flag was released each time, so a readable device is asked at once.
    storeDevice(phone);
    env.advance(6);
    EXPECT_EQ(bluetooth.nameRequestCount(), 1u);
    EXPECT_FALSE(env.logged("Skipping BT check"));
}

TEST_F(BluetoothControllerTest, RefusedRequestIsLoggedAndRetriedAtTheNextPoll) {
    qmasl::resetLevelForTesting(4);
    bluetooth.setResponse(kPhoneAddress, Response::Refuses);
    createMonitor();
    EXPECT_EQ(count("Failed to issue remoteNameRequest to Phone: " + std::to_string(HeadlessBluetooth::kRefusedStatus)),
              1u);
    answers();
    env.advance(6);
    EXPECT_EQ(count("remoteNameRequest issued to device Phone: 0"), 1u);
    EXPECT_EQ(requestTimes(kUnlockRequest), (std::vector<double>{6}));
}

TEST_F(BluetoothControllerTest, AtTheDefaultLevelOnlyTheRequestLineIsWritten) {
    qmasl::resetLevelForTesting(4);
    createMonitor();
    silent();
    env.advance(36);
    ASSERT_EQ(requestTimes(kLockRequest).size(), 1u);
    const auto lines = env.logLines();
    ASSERT_EQ(lines.size(), 7u);
    for (const std::string& line : lines)
        EXPECT_NE(line.find("remoteNameRequest issued to device Phone: 0"), std::string::npos) << line;
}

TEST_F(BluetoothControllerTest, TerminateStopsPollingAndDropsTheAnswerUnderWay) {
    createMonitor();
    bluetooth.setResponse(kPhoneAddress, Response::Answers, 3);
    env.advance(6);
    ASSERT_EQ(requestTimes(kUnlockRequest), (std::vector<double>{0}));
    monitor->terminate();
    EXPECT_TRUE(env.logged("Terminating Bluetooth module"));
    env.advance(60);
    EXPECT_EQ(bluetooth.nameRequestCount(), 2u);
    EXPECT_EQ(requests.size(), 1u) << "no request after the module ended";
}

TEST_F(BluetoothControllerTest, DestroyedMonitorHearsNoLateAnswer) {
    bluetooth.setResponse(kPhoneAddress, Response::Answers, 3);
    monitor = BluetoothController::init();
    ASSERT_NE(monitor, nullptr);
    monitor.reset();
    env.advance(10);
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(bluetooth.outstandingNameRequests(), 0u);
}

TEST_F(BluetoothControllerTest, SecondsUntilLockIsZeroUntilSet) {
    monitor = BluetoothController::init();
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->secondsUntilLock(), 0);
    monitor->setSecondsUntilLock(600);
    EXPECT_EQ(monitor->secondsUntilLock(), 600);
}

}  // namespace
