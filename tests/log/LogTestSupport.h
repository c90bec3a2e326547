#pragma once

#include "app/ApplicationDelegateAccess.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Notification.h"
#include "platform/headless/HeadlessEnvironment.h"
#include "platform/ui/Image.h"
#include "shared/TarnwickConstants.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace logtest {

class FakeDelegate : public TarnwickDelegate {
public:
    bool sleeping() const override { return asleep.load(); }
    void showPreferences(platform::Object*) override {}
    void rememberFrontmostApplication() override {}
    void restoreFrontmostApplication() override { ++restores; }

    std::atomic<bool> asleep{false};
    std::atomic<int> restores{0};
};

inline void postEvent(const std::string& name, const platform::Value& timestamp,
                      const std::optional<std::string>& password = std::nullopt) {
    platform::Dictionary userInfo{{"eventName", name}};
    if (!timestamp.isNull()) userInfo["timestamp"] = timestamp;
    if (password) userInfo["password"] = *password;
    platform::NotificationCenter::defaultCenter().post(name, {}, userInfo);
}

// A camera frame named as the photographer names it.
inline platform::ImageRef makePhoto(const platform::Date& stamp, std::uint8_t shade = 200) {
    auto photo = platform::Image::fromRGB(2, 2, std::vector<std::uint8_t>(12, shade));
    photo->setName(stamp.format(kPhotoTimestampFormat) + ".tiff");
    return photo;
}

inline void postPhoto(const std::string& eventName, const platform::Date& stamp, const platform::ImageRef& photo) {
    platform::NotificationCenter::defaultCenter().post(
        kPhotoReadyNotification, eventName,
        {{"eventName", eventName}, {"timestamp", stamp}, {"image", platform::Value(photo)}});
}

// Posts the photo from a thread of its own, as the camera does, while the main
// run loop serves the work handed to it.
inline void postPhotoFromCameraThread(platform::headless::HeadlessEnvironment& env, const std::string& eventName,
                                      const platform::Date& stamp, const platform::ImageRef& photo) {
    std::atomic<bool> done{false};
    std::thread camera([&] {
        postPhoto(eventName, stamp, photo);
        done.store(true);
    });
    env.runLoop().runUntil([&] { return done.load(); }, 10.0);
    camera.join();
}

// Real time: scripts run as separate processes.
inline bool waitUntil(const std::function<bool()>& condition, double seconds = 10.0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline std::string readText(const std::string& path) {
    auto data = platform::FileManager::readFile(path);
    return data ? std::string(data->begin(), data->end()) : std::string();
}

}  // namespace logtest
