#pragma once

#include "app/AppTestFixture.h"
#include "platform/foundation/PreferencesDomain.h"
#include "platform/headless/ScriptedOpenPanelPresenter.h"
#include "platform/ui/Layout.h"
#include "prefpane/PreferenceController.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace panetest {

using apptest::kPassword;

// The application's distributed centre, noting what the stored file holds at
// the moment the pane posts "changeNotification".
class FlushCheckingCenter final : public platform::DistributedNotificationCenter {
public:
    using Snapshot = std::function<platform::Dictionary()>;
    FlushCheckingCenter(platform::DistributedNotificationCenter& inner, Snapshot snapshot)
        : inner_(inner), snapshot_(std::move(snapshot)) {}

    void post(const std::string& name, const std::string& object) override {
        if (name == kChangeNotification) filesAtAnnouncement.push_back(snapshot_());
        inner_.post(name, object);
    }
    void addObserver(const void* owner, const std::string& name, const std::string& object,
                     Callback callback) override {
        inner_.addObserver(owner, name, object, std::move(callback));
    }
    void removeObserver(const void* owner) override { inner_.removeObserver(owner); }

    std::vector<platform::Dictionary> filesAtAnnouncement;

private:
    platform::DistributedNotificationCenter& inner_;
    Snapshot snapshot_;
};

// The pane in the application's headless world: the same process plays the
// settings host (a window showing the pane's main view) and, when a test
// launches it, the application, both on one in-memory bus.
class PaneTest : public apptest::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        platform::OpenPanelPresenter::install(&openPanels);
        platform::DistributedNotificationCenter::install(&center);
        removeStored(kPrefPassword);
    }
    void TearDown() override {
        closePane();
        platform::OpenPanelPresenter::install(nullptr);
        AppTest::TearDown();
    }

    // The installed application bundle, with its executable, as the login
    // items want it.
    void installApplication() {
        const std::string macos = paneBundlePath() + "/Tarnwick.app/Contents/MacOS";
        platform::FileManager::createDirectory(macos, true);
        platform::FileManager::writeAtomically(macos + "/Tarnwick",
                                               platform::Data{'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n'}, 0755);
    }

    static void removeStored(const std::string& key) { platform::Defaults::standard().removeObject(key); }

    void openPane() {
        pane = std::make_unique<PreferenceController>(platform::Bundle(paneBundlePath()));
        hostWindow = std::make_unique<platform::Window>(platform::Rect{0, 0, 640, 480});
        hostWindow->setContentView(pane->loadMainView());
        hostWindow->makeKeyAndOrderFront();
        env.advance(0);
    }
    void closePane() {
        // A stop request's thread talks to the run loop until it ends; the
        // loop must outlive it.
        if (pane) env.runLoop().runUntil([this] { return pane->stopsUnderWay() == 0; });
        hostWindow.reset();
        pane.reset();
    }
    void reopenPane() {
        closePane();
        openPane();
    }

    template <class T>
    std::shared_ptr<T> control(const std::string& identifier) const {
        auto view = std::dynamic_pointer_cast<T>(pane->mainView()->viewWithIdentifier(identifier));
        EXPECT_NE(view, nullptr) << "no " << identifier;
        return view;
    }
    platform::Button& button(const std::string& identifier) const { return *control<platform::Button>(identifier); }
    std::string text(const std::string& identifier) const {
        return control<platform::TextField>(identifier)->stringValue();
    }

    // The domain as the application would read it from its file.
    static platform::Dictionary storedFile() {
        auto value = platform::plist::readFile(platform::PreferencesDomain::pathForIdentifier(kBundleName));
        return value && value->isDictionary() ? value->dictionaryValue() : platform::Dictionary{};
    }
    static platform::Value stored(const std::string& key) {
        const platform::Dictionary file = storedFile();
        auto it = file.find(key);
        return it == file.end() ? platform::Value() : it->second;
    }
    std::size_t changeCount() const { return bus.postedCount(kChangeNotification); }
    const std::vector<platform::Dictionary>& announcements() const { return center.filesAtAnnouncement; }

    FlushCheckingCenter center{appCenter, [] { return storedFile(); }};
    platform::headless::ScriptedOpenPanelPresenter openPanels;
    std::unique_ptr<PreferenceController> pane;
    std::unique_ptr<platform::Window> hostWindow;
};

}  // namespace panetest
