#pragma once

#include "platform/foundation/Object.h"
#include "platform/services/BluetoothDeviceInquiry.h"
#include "platform/ui/Controls.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/ProgressIndicator.h"
#include "platform/ui/Slider.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

#include <memory>
#include <string>

class PreferenceController;

// The Bluetooth device sheet: a 5-second search for nearby devices listed
// after the device chosen before, the time of absence after which the screen
// locks, and whether the device only unlocks. OK stores the three settings
// and hands the device to the pane's controller (setBluetoothDevice).
// Everything but the start of a search runs on the main thread; the search's
// callbacks never reach a controller that is gone.
class BluetoothDevicePanelController : public std::enable_shared_from_this<BluetoothDevicePanelController> {
public:
    static constexpr int kInquiryLength = 5;

    BluetoothDevicePanelController() = default;
    // Stops a running search.
    ~BluetoothDevicePanelController();

    PreferenceController* preferencesController() const { return preferencesController_; }
    void setPreferencesController(PreferenceController* controller) { preferencesController_ = controller; }

    void awakeFromNib();
    // Starts a search, or stops the running one. Any thread: the work is
    // done on the main thread.
    void refresh(platform::Object* sender);
    void sliderMoved(platform::Object* sender);
    void checkBoxClicked(platform::Object* sender);
    void ok(platform::Object* sender);
    void cancel(platform::Object* sender);

    // Makes the search on the calling (background) thread and hands its
    // start to the main thread.
    void startBluetoothQuery();
    void deviceInquiryComplete(platform::BluetoothDeviceInquiry& inquiry, int error, bool aborted);

    // The wording of the slider's time-out ("after 1 hour 30 mins").
    std::string timeoutAsString() const;

    // The pane is closing: a running search is stopped and its answer, or
    // the start of one still on its way, reaches nobody. Main thread.
    void abandonSearch();

private:
    friend std::shared_ptr<platform::Window> loadBluetoothPanelInterface(BluetoothDevicePanelController& owner);

    void startSearch();
    void stopSearch();
    void beginInquiry(const platform::BluetoothDeviceInquiryRef& inquiry);
    void listStoredDevice();
    void listFoundDevices(const std::vector<platform::BluetoothDeviceRef>& found);
    void showSearching(bool searching);
    void showSearchOutcome(const std::string& text);
    void closeSheet();
    const std::string& appID() const;

    PreferenceController* preferencesController_ = nullptr;
    platform::BluetoothDeviceInquiryRef deviceInquiry;
    std::shared_ptr<platform::PopUpButton> popupButton;
    std::shared_ptr<platform::Button> refreshButton;
    std::shared_ptr<platform::TextField> refreshLabel;
    std::shared_ptr<platform::ProgressIndicator> progressIndicator;
    // Why a search listed nothing (no adapter, no permission, switched off).
    std::shared_ptr<platform::TextField> searchOutcomeLabel;
    std::shared_ptr<platform::Slider> timeToLock;
    std::shared_ptr<platform::TextField> timeToLockLabel;
    std::shared_ptr<platform::Button> unlockOnly;
    std::shared_ptr<platform::Button> okButton;
    std::shared_ptr<platform::Button> cancelButton;
    bool scanning = false;
};
