#pragma once

#include "app/Photographer.h"
#include "platform/foundation/Defaults.h"
#include "platform/foundation/Notification.h"
#include "platform/headless/HeadlessCapture.h"
#include "platform/headless/HeadlessEnvironment.h"
#include "shared/QMASL.h"
#include "shared/TarnwickConstants.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace phototest {

inline constexpr const char* kCameraID = "usb-Quillmere_Test_Camera-video-index0";
inline constexpr const char* kCameraName = "Quillmere Test Camera";

class RecordingDelegate final : public TarnwickDelegate {
public:
    bool sleeping() const override { return asleep.load(); }
    void showPreferences(platform::Object* sender) override {
        std::lock_guard<std::mutex> guard(lock);
        preferenceSenders.push_back(sender);
    }
    void rememberFrontmostApplication() override {}
    void restoreFrontmostApplication() override {}

    std::atomic<bool> asleep{false};
    std::mutex lock;
    std::vector<platform::Object*> preferenceSenders;
};

// Collects photo-ready notifications as one consumer (log or script) would.
class PhotoConsumer {
public:
    PhotoConsumer() {
        platform::NotificationCenter::defaultCenter().addObserver(this, kPhotoReadyNotification, platform::Value(),
                                                                  [this](const platform::NotificationRef& n) {
                                                                      std::lock_guard<std::mutex> guard(lock_);
                                                                      received_.push_back(n);
                                                                  });
    }
    ~PhotoConsumer() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

    std::vector<platform::NotificationRef> received() const {
        std::lock_guard<std::mutex> guard(lock_);
        return received_;
    }
    std::size_t count() const { return received().size(); }

private:
    mutable std::mutex lock_;
    std::vector<platform::NotificationRef> received_;
};

// The headless world of one test: environment, cameras, the delegate and the
// photographer under test (destroyed first).
class PhotographerTest : public ::testing::Test {
protected:
    PhotographerTest() {
        qmasl::resetLevelForTesting(7);
        platform::Capture::install(&capture);
        camera = capture.addCamera(kCameraID, kCameraName);
        auto& defaults = platform::Defaults::standard();
        defaults.setObject(platform::Value(kCameraID), kPrefVideoCaptureDevice);
        wantPhoto(kPrefWrongPassword, kActionLog);
        defaults.setObject(platform::Value(false), kPrefSaveImagesImmediately);
        defaults.setObject(platform::Value(env.home() + "/photos"), kPrefSaveImagesPath);
    }

    ~PhotographerTest() override {
        photographer.reset();
        platform::Capture::install(nullptr);
        qmasl::resetLevelForTesting(-1);
    }

    static void setFlag(const std::string& key, bool on) {
        platform::Defaults::standard().setObject(platform::Value(on), key);
    }
    // The master switch of the event, the action and its photo flag.
    static void wantPhoto(const std::string& prefix, const std::string& action) {
        setFlag(prefix, true);
        setFlag(prefix + "." + action, true);
        setFlag(prefix + "." + action + ".photo", true);
    }

    void createPhotographer() { photographer = Photographer::initWithDelegate(&delegate); }
    void createAndSetUp() {
        createPhotographer();
        ASSERT_TRUE(photographer->setupCaptureSession());
    }

    static platform::NotificationRef makeEvent(const std::string& name, const std::string& eventName,
                                               platform::Date timestamp) {
        return std::make_shared<const platform::Notification>(
            name, platform::Value(),
            platform::Dictionary{{"eventName", platform::Value(eventName)}, {"timestamp", platform::Value(timestamp)}});
    }
    // Posts an event the way the lock controller does.
    platform::NotificationRef postEvent(const std::string& name = kWrongPasswordEvent,
                                        platform::Date timestamp = nextTimestamp()) {
        auto event = makeEvent(name, "event " + std::to_string(timestamp.millisecondsSinceEpoch()), timestamp);
        platform::NotificationCenter::defaultCenter().post(event);
        return event;
    }
    static platform::Date nextTimestamp() {
        static std::atomic<std::int64_t> ms{1262397845000};
        return platform::Date::fromMilliseconds(ms.fetch_add(1001));
    }

    // Pumps the main run loop in real time until `done`.
    bool waitFor(const std::function<bool()>& done, double seconds = 5.0) {
        return env.runLoop().runUntil(done, seconds);
    }

    platform::headless::HeadlessEnvironment env;
    platform::headless::HeadlessCapture capture;
    platform::headless::HeadlessCameraRef camera;
    RecordingDelegate delegate;
    std::unique_ptr<Photographer> photographer;
};

}  // namespace phototest
