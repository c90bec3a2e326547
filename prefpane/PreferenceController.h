#pragma once

#include "platform/foundation/Notification.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Thread.h"
#include "platform/foundation/Value.h"
#include "platform/services/Workspace.h"
#include "platform/ui/Controls.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/PreferencePane.h"
#include "platform/ui/ProgressIndicator.h"
#include "platform/ui/ShortcutRecorder.h"
#include "platform/ui/Slider.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BluetoothDevicePanelController;
class ExceptionsPanelController;
class InputField;

namespace platform {
class OpenPanel;
}

// The settings pane's controller. It shows the application's settings, read
// from the application's preferences domain (`appID`), and writes every
// change straight back there, flushed and announced with one
// "changeNotification"; it sets the password, and it starts, stops and
// restarts the application. Its controls are connected by the pane's
// interface (PreferencePaneInterface). Everything runs on the main thread
// unless said otherwise.
class PreferenceController : public platform::PreferencePane,
                             public platform::WindowDelegate,
                             public platform::ShortcutRecorderDelegate,
                             public platform::TableViewDataSource,
                             public platform::TableViewDelegate {
public:
    // Starts listening to the application at once, before any view exists.
    explicit PreferenceController(platform::Bundle bundle);
    ~PreferenceController() override;

    void mainViewDidLoad() override;

    // Application control (PreferenceControllerApplication.cpp).
    std::optional<std::string> pathToTarnwickInfo();
    std::optional<platform::Dictionary> tarnwickInfo();
    // Any thread.
    bool applicationIsRunning() const;
    void setupStartStopButton();
    void startStopApplication(platform::Object* sender);
    // Runs on a thread of its own.
    void stopApplication();
    void setupApplicationListener();
    void stopApplicationListener();
    void applicationDidStart(const platform::Notification& notification);
    void applicationDidStop(const platform::Notification& notification);
    void videoLockFailed(const platform::Notification& notification);
    // Writes the pending settings to the disk and tells the application;
    // false, with an alert saying so, when they could not be written.
    bool synchronizeWithApplication();
    // Writes the pending settings to the disk only; false when they could
    // not be written, in which case they stay pending for the next try.
    bool flushSettings();
    // The alert for settings that did not reach the disk.
    static void alertSettingsNotSaved(const std::string& appID);
    // Settings that could not be written are tried once more; while they
    // still cannot be, the user decides whether the window closes.
    UnselectReply shouldUnselect() override;

    // Password change (PreferenceControllerPassword.cpp).
    void openPasswordWindow(platform::Object* sender);
    void closePasswordWindow(platform::Object* sender);
    void passwordFieldAction(platform::Object* sender);
    void passwordEntered(platform::Object* sender);

    // General settings (PreferenceControllerSettings.cpp).
    void checkBoxClicked(platform::Object* sender);
    void sliderMoved(platform::Object* sender);
    void lockScreenDelayChanged(platform::Object* sender);
    void setDimScreenBehaviour(platform::Object* sender);
    void setThreeWrongsImage(platform::Object* sender);
    void setSaveImagesType(platform::Object* sender);
    void setSaveImagesPath(platform::Object* sender);
    // 1 adds the application to the login items, 0 removes it.
    void startAtLogin(int flag);
    void openBluetoothPanel(platform::Object* sender);
    // Called by the Bluetooth sheet's controller when it closes; none when
    // the user chose no device.
    void setBluetoothDevice(const platform::ObjectRef& device);
    void openExceptionsPanel(platform::Object* sender);
    void hideExceptionsPanel(platform::Object* sender);

    // The events and their reactions (PreferenceControllerEvents.cpp). A row
    // or column the tables cannot have raises platform::AssertionFailure.
    int numberOfRowsInTableView(platform::TableView& tableView) override;
    platform::Value tableViewObjectValueForTableColumn(platform::TableView& tableView,
                                                       const platform::TableColumn& column, int row) override;
    void tableViewSetObjectValue(platform::TableView& tableView, const platform::Value& value,
                                 const platform::TableColumn& column, int row) override;
    bool tableViewShouldSelectRow(platform::TableView& tableView, int row) override;
    bool controlTextShouldBeginEditing(platform::TableView& tableView) override;
    void eventsChanged(platform::Object* sender);
    void actionsChanged(platform::Object* sender);
    // The key of the chosen reaction of the chosen event; none without an event.
    std::optional<std::string> selectedAction();

    // The script sheet (PreferenceControllerScript.cpp).
    void openScriptPanelFor(const std::string& detailsKey);
    void wantScriptPath(platform::Object* sender);
    void filePanelDidEnd(platform::OpenPanel& panel, int returnCode, const std::string& contextInfo);
    void scriptDetailsEntered(platform::Object* sender);
    void scriptDetailsAborted(platform::Object* sender);

    // Camera selection (PreferenceControllerCamera.cpp). The search lists and
    // probes the cameras on a thread of its own and fills the menu back on the
    // main thread; of overlapping searches only the newest fills it.
    void updateVideoDevices(platform::Object* sender);
    void searchForVideoCaptureDevices();
    void videoCaptureDeviceChanged(platform::Object* sender);

    // Hot keys (PreferenceControllerHotKeys.cpp).
    void readHotKeyDefaultsFor(platform::ShortcutRecorder& recorder);
    void shortcutRecorderKeyComboDidChange(platform::ShortcutRecorder& recorder, std::int32_t keyCode,
                                           std::uint32_t flags) override;
    bool shortcutRecorderIsKeyCode(platform::ShortcutRecorder& recorder, std::int32_t keyCode, std::uint32_t flags,
                                   std::string& reason) override;

    // Leaving a sheet by its window's close button or Escape.
    bool windowShouldClose(platform::Window& window) override;

    const std::string& appID() const { return appID_; }
    // The domain a sheet's controller writes: its pane's, or the
    // application's own while it belongs to no pane (a sheet on its own).
    static const std::string& appIDOf(const PreferenceController* controller);
    const std::shared_ptr<platform::Window>& bluetoothPanel() const { return bluetoothPanel_; }
    bool passwordChanged() const { return passwordDidChange; }
    const std::string& currentPasswordDigest() const { return currentPasswordMd5; }
    // Stop requests still on their way to the application.
    int stopsUnderWay() const;

protected:
    platform::ViewRef assignMainView() override;

private:
    friend platform::ViewRef loadPreferencePaneInterface(PreferenceController& owner);

    // The settings a check box or a slider shows, each written once here.
    struct CheckBoxSetting {
        std::shared_ptr<platform::Button> PreferenceController::*box;
        const char* key;
        bool fallback;
    };
    struct SliderSetting {
        std::shared_ptr<platform::Slider> PreferenceController::*slider;
        std::shared_ptr<platform::TextField> PreferenceController::*label;
        const char* key;
        double fallback;
        // The unit of an integer slider ("minute"); none for the inactivity curve.
        const char* unit;
    };
    static const std::vector<CheckBoxSetting>& checkBoxSettings();
    static const std::vector<SliderSetting>& sliderSettings();
    std::string sliderLabel(const SliderSetting& setting) const;

    bool synchronizeWithoutAlert();

    enum class ApplicationButtonState { Stopped, Running, Waiting };
    void showApplicationState(ApplicationButtonState state);
    bool launchApplication();
    void stopApplicationOnItsOwnThread();
    void waitForStopThreads();
    // The process of launch number `launch` has ended.
    void applicationExited(int launch, const platform::Workspace::ApplicationExit& exit);
    static std::string applicationEndText(const platform::Workspace::ApplicationExit& exit, bool starting);
    void showApplicationEnd(const std::string& text);

    void performOnMainThread(std::function<void()> fn);
    void readSettingsIntoControls();
    void readPasswordState();
    // Writes the password's digest and layout through to the disk; false,
    // with nothing left pending, when they could not be written.
    bool storePassword(const std::string& digest);
    void showPasswordState(const std::string& text, const platform::Color& colour, bool passwordSet);
    void readBluetoothRow();
    void showBluetoothDevice(const platform::ObjectRef& device);
    void beginSheet(platform::Window& sheet);
    void endSheet(platform::Window& sheet);
    void writeValue(const std::string& key, const platform::Value& value);
    void writeCheckBox(const std::string& key, const platform::Button& box);
    std::string hotKeyPrefixFor(const platform::ShortcutRecorder& recorder) const;
    // The event key of the selected events row; raises with `failure` for a
    // row the table cannot have.
    std::string selectedEventKey(const std::string& failure, const platform::TableColumn& column, int actionRow) const;
    [[noreturn]] void failInTable(int line, const std::string& description) const;

    struct VideoDevice {
        std::string uniqueID;
        std::string title;
    };
    struct VideoDeviceSearch {
        std::vector<VideoDevice> devices;
        std::string defaultID;  // empty when there is no default camera
    };
    struct VideoSearchSlot;
    void showVideoSearch(bool searching);
    void pollVideoSearch();
    void showVideoDevices(const VideoDeviceSearch& found);
    void selectStoredVideoDevice(const VideoDeviceSearch& found);

    std::string appID_;
    platform::ViewRef contentView;

    std::shared_ptr<platform::Window> passwordPanel;
    std::shared_ptr<InputField> oldPassword;
    std::shared_ptr<InputField> newPassword;
    std::shared_ptr<InputField> newPasswordRepeat;
    std::shared_ptr<platform::Button> changePassword;
    std::shared_ptr<platform::TextField> passwordSet;
    bool passwordDidChange = false;
    std::string currentPasswordMd5;
    // A write did not reach the disk and no later one has.
    bool unsavedSettings_ = false;
    // The controls are being filled from the stored settings.
    bool loading_ = false;

    std::shared_ptr<platform::Button> showInDock;
    std::shared_ptr<platform::Button> showInMenu;
    std::shared_ptr<platform::Button> lockOnSleepComputer;
    std::shared_ptr<platform::Button> lockViaBluetooth;
    std::shared_ptr<platform::TextField> bluetoothDeviceName;
    std::shared_ptr<platform::ShortcutRecorder> lockScreenHotKeyInput;
    std::shared_ptr<platform::Button> ignoreFirstKey;
    std::shared_ptr<platform::Button> lockOnStartup;
    std::shared_ptr<platform::Button> showLogOnUnlock;
    std::shared_ptr<platform::Button> showLogOnUnlockAfterFailedUnlock;
    std::shared_ptr<platform::ShortcutRecorder> showLogHotKeyInput;
    std::shared_ptr<platform::Slider> autoActivate;
    std::shared_ptr<platform::TextField> autoActivateLabel;
    std::shared_ptr<platform::Slider> penalty;
    std::shared_ptr<platform::TextField> penaltyLabel;
    std::shared_ptr<platform::Slider> inputPause;
    std::shared_ptr<platform::TextField> inputPauseLabel;
    std::shared_ptr<platform::Slider> dimScreen;
    std::shared_ptr<platform::TextField> dimScreenLabel;
    std::shared_ptr<platform::PopUpButton> dimScreenModePopupButton;
    std::shared_ptr<platform::Button> fadingEnabled;
    std::shared_ptr<platform::PopUpButton> lockScreenDelayPopupButton;
    std::shared_ptr<platform::PopUpButton> threeWrongsPopupButton;

    std::shared_ptr<platform::Button> startStopButton;
    // Why the application ended when the pane did not ask it to.
    std::shared_ptr<platform::TextField> applicationStatus;
    ApplicationButtonState applicationState_ = ApplicationButtonState::Stopped;
    // The launches made so far; only the newest one's end is shown.
    int launches_ = 0;
    // The pane asked the application to quit since its last launch.
    bool quitRequested_ = false;
    std::shared_ptr<platform::Button> startOnLoginCheckbox;

    // Where the compositor, not Tarnwick, owns the hot keys and the start at
    // login: the lines to put into its configuration
    // (PreferenceControllerCompositor.cpp). Hidden elsewhere.
    void showCompositorNotes();
    std::shared_ptr<platform::TextField> hotKeysCompositorNote;
    std::shared_ptr<platform::TextField> loginCompositorNote;
    std::optional<std::string> thePathToTarnwickInfo;
    bool wantRestart = false;

    std::shared_ptr<platform::PopUpButton> videoPopupButton;
    std::shared_ptr<platform::ProgressIndicator> videoSearchIndicator;
    std::shared_ptr<platform::TextField> videoSearchInfo;
    std::shared_ptr<platform::Button> updateVideoDevicesButton;
    // Where the newest camera search leaves its list, and the timer that
    // looks for it there.
    std::shared_ptr<VideoSearchSlot> videoSearch_;
    platform::TimerRef videoSearchPoll_;

    platform::TableViewRef events;
    platform::TableViewRef actions;
    std::shared_ptr<platform::Window> scriptPanel;
    std::shared_ptr<platform::Button> scriptOkButton;
    std::shared_ptr<platform::TextField> scriptNameLabel;
    std::shared_ptr<platform::TextField> scriptArguments;

    std::shared_ptr<platform::Button> whiteScreenDelay;
    std::shared_ptr<platform::PopUpButton> saveImagesMode;
    std::shared_ptr<platform::TextField> saveImagesTo;

    std::shared_ptr<platform::Window> bluetoothPanel_;
    std::shared_ptr<BluetoothDevicePanelController> bluetoothDevicePanelController;
    std::shared_ptr<platform::Window> exceptionsPanel;
    std::shared_ptr<ExceptionsPanelController> exceptionsPanelController;

    double f = 0;

    // Work handed to the main thread must not outlive the controller.
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    // The threads of stop requests; the pane waits for them as it goes.
    std::vector<std::shared_ptr<platform::Thread>> stopThreads_;
    std::vector<platform::TimerRef> pendingPerforms_;
};
