#pragma once

#include "app/FullScreenWindow.h"
#include "app/Tarnwick.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Defaults.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/PropertyList.h"
#include "platform/headless/HeadlessDisplayPower.h"
#include "platform/headless/HeadlessDisplays.h"
#include "platform/headless/HeadlessEnvironment.h"
#include "platform/headless/HeadlessEventTap.h"
#include "platform/headless/HeadlessHotKeyCenter.h"
#include "platform/headless/HeadlessInputSources.h"
#include "platform/headless/HeadlessProcesses.h"
#include "platform/headless/HeadlessSystemUIMode.h"
#include "platform/headless/HeadlessWorkspace.h"
#include "platform/headless/InMemoryBus.h"
#include "platform/headless/InMemoryConnectionService.h"
#include "platform/headless/InMemoryNotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/Event.h"
#include "shared/InputField.h"
#include "shared/QMASL.h"
#include "shared/TarnwickConstants.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace apptest {

inline const char* const kPassword = "s3cret";

// The application's headless world: a private home, the manual clock, every
// platform service the controller talks to, and a second endpoint on the bus
// that plays the pane.
class AppTest : public ::testing::Test {
protected:
    struct Posted {
        std::string name;
        platform::Dictionary userInfo;
    };

    void SetUp() override {
        platform::Displays::install(&displays);
        platform::DisplayPower::install(&power);
        platform::SystemUIMode::install(&uiMode);
        platform::Processes::install(&processes);
        platform::InputSources::install(&inputSources);
        platform::EventTap::install(&tap);
        platform::HotKeyCenter::install(&hotKeys);
        platform::Workspace::install(&workspace);
        platform::DistributedNotificationCenter::install(&appCenter);
        platform::ConnectionService::install(&connections);
        platform::Bundle::setMainPath(buildDirectory() + "/Tarnwick.prefPane/Tarnwick.app");
        platform::Application::shared().setActivationHandler([this] { processes.bringToFront(processes.self()); });
        platform::Application::shared().setTerminationHandler([] {});
        qmasl::resetLevelForTesting(7);

        installPane();
        setPassword(kPassword);
        finder = processes.front();

        platform::NotificationCenter::defaultCenter().addObserver(
            this, "", {}, [this](const platform::NotificationRef& n) {
                for (const char* event : {kScreenLockedEvent, kScreenUnlockedEvent, kWrongPasswordEvent,
                                          kThreeWrongPasswordEvent, kPasswordTimeoutEvent})
                    if (n->name() == event) events.push_back({n->name(), n->userInfo()});
            });
        paneCenter.addObserver(this, kStartNotification, kBundleName,
                               [this](const std::string& name, const std::string&) { paneSaw.push_back(name); });
        paneCenter.addObserver(this, kStopNotification, kBundleName,
                               [this](const std::string& name, const std::string&) { paneSaw.push_back(name); });
        paneCenter.addObserver(this, kVideoLockFailedNotification, kBundleName,
                               [this](const std::string& name, const std::string&) { paneSaw.push_back(name); });
    }

    void TearDown() override {
        app.reset();
        platform::NotificationCenter::defaultCenter().removeObserver(this);
        paneCenter.removeObserver(this);
        qmasl::resetLevelForTesting(-1);
        platform::ConnectionService::install(nullptr);
        platform::DistributedNotificationCenter::install(nullptr);
        platform::Workspace::install(nullptr);
        platform::HotKeyCenter::install(nullptr);
        platform::EventTap::install(nullptr);
        platform::InputSources::install(nullptr);
        platform::Processes::install(nullptr);
        platform::SystemUIMode::install(nullptr);
        platform::DisplayPower::install(nullptr);
        platform::Displays::install(nullptr);
    }

    static std::string buildDirectory() {
        char buffer[4096];
        const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        const std::string exe(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        return platform::paths::deletingLastComponent(platform::paths::deletingLastComponent(exe));
    }

    std::string paneBundlePath() const {
        return platform::paths::appendComponent(
            platform::paths::libraryDirectories(platform::paths::Domain::User).front(),
            "PreferencePanes/Tarnwick.prefPane");
    }
    void installPane() { platform::FileManager::createDirectory(paneBundlePath(), true); }
    void removePane() { platform::FileManager::removeItem(paneBundlePath()); }

    static std::string digestOf(const std::string& text) {
        InputField field;
        field.setStringValue(text);
        return field.md5String();
    }
    static void set(const std::string& key, const platform::Value& value) {
        platform::Defaults::standard().setObject(value, key);
    }
    static void setPassword(const std::string& text) { set(kPrefPassword, digestOf(text)); }
    // What any program of the session can do: write the settings file and
    // announce the change as the pane does.
    void writtenByAnotherProgram(const platform::Dictionary& values) {
        const std::string domain = platform::Defaults::standard().domainIdentifier();
        for (const auto& [key, value] : values) platform::preferences::setAppValue(key, value, domain);
        platform::preferences::appSynchronize(domain);
        paneCenter.post(kChangeNotification, kPreferencesObject);
        env.advance(2);
    }

    void writeScreenSaverSettings(const platform::Value& settings) {
        const std::string folder = env.home() + "/Library/Preferences";
        platform::FileManager::createDirectory(folder, true);
        platform::FileManager::writeAtomically(folder + "/com.apple.screensaver.plist",
                                               platform::plist::serialize(settings));
    }

    // Loads the controller as the interface does, without finishing the launch.
    void load() {
        app = std::make_unique<Tarnwick>();
        platform::Application::shared().setDelegate(app.get());
        app->awakeFromNib();
    }
    // The whole start-up; the bus delivers what it carries.
    void launch() {
        load();
        app->applicationDidFinishLaunching();
        env.advance(0);
    }
    // Locks and waits until the white screen is gone and input is accepted.
    void lockAndSettle() {
        app->lockScreen(nullptr);
        env.advance(3.5);
    }
    // The first input on a dimmed lock screen, a second after locking.
    void wakeLockScreen() {
        env.advance(1.0);
        app->lockWindow()->sendEvent(platform::Event::ofType(platform::Event::Type::MouseMoved));
        env.advance(0.2);
    }
    void press(std::uint16_t keyCode, const std::string& characters = {}, bool repeat = false) {
        auto event = platform::Event::keyDown(keyCode, characters, repeat);
        if (app->lockWindow())
            app->lockWindow()->sendEvent(event);
        else
            app->keyDown(event);
    }
    void type(const std::string& text) {
        for (char c : text) press(0, std::string(1, c));
    }
    void enter(const std::string& text) {
        type(text);
        press(platform::keycode::Return, "\r");
    }

    std::vector<std::string> eventNames() const {
        std::vector<std::string> names;
        for (const Posted& p : events) names.push_back(p.name);
        return names;
    }
    std::string imageName() const { return app->lockImageView().imageName(); }
    std::string fieldText() const { return app->lockPasswordField().stringValue(); }

    platform::headless::HeadlessEnvironment env;
    platform::headless::HeadlessDisplays displays;
    platform::headless::HeadlessDisplayPower power;
    platform::headless::HeadlessSystemUIMode uiMode;
    platform::headless::HeadlessProcesses processes;
    platform::headless::HeadlessInputSources inputSources;
    platform::headless::HeadlessEventTap tap;
    platform::headless::HeadlessHotKeyCenter hotKeys;
    platform::headless::HeadlessWorkspace workspace;
    platform::headless::InMemoryBus bus;
    platform::headless::InMemoryNotificationCenter appCenter{bus};
    platform::headless::InMemoryNotificationCenter paneCenter{bus};
    platform::headless::InMemoryConnectionService connections{bus};
    platform::ProcessSerialNumber finder;

    std::unique_ptr<Tarnwick> app;
    std::vector<Posted> events;
    std::vector<std::string> paneSaw;
};

}  // namespace apptest
