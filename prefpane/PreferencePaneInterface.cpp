#include "prefpane/PreferencePaneInterface.h"

#include "platform/ui/Layout.h"
#include "prefpane/InterfaceBuilding.h"
#include "platform/ui/TableView.h"
#include "prefpane/BluetoothDevicePanelController.h"
#include "prefpane/BluetoothPanelInterface.h"
#include "prefpane/ExceptionsPanelController.h"
#include "prefpane/ExceptionsPanelInterface.h"
#include "prefpane/PreferenceController.h"
#include "shared/InputField.h"

#include <memory>
#include <string>

namespace {

using interface_building::addLabelledRow;
using interface_building::label;
using interface_building::named;
using interface_building::pushButton;
using platform::Button;
using platform::FormView;
using platform::PopUpButton;
using platform::Slider;
using platform::StackView;
using platform::TextField;

using Orientation = StackView::Orientation;

constexpr double kSliderWidth = 260;
constexpr double kSliderLabelWidth = 130;
constexpr double kFieldWidth = 240;

std::shared_ptr<Button> checkBox(PreferenceController& owner, const std::string& identifier, const std::string& title) {
    auto box = pushButton(identifier, title, [&owner](Button& sender) { owner.checkBoxClicked(&sender); });
    box->setCheckbox(true);
    return box;
}

// A slider with `ticks` marks, integer positions only when `integral`.
std::shared_ptr<Slider> slider(PreferenceController& owner, const std::string& identifier, double max, int ticks,
                               bool integral) {
    auto control = named(std::make_shared<Slider>(platform::Rect{0, 0, kSliderWidth, 0}), identifier);
    control->setRange(0, max);
    control->setNumberOfTickMarks(ticks);
    control->setAllowsTickMarkValuesOnly(integral);
    control->setAction([&owner](Slider& sender) { owner.sliderMoved(&sender); });
    return control;
}

// A slider and the label that says what its position means, side by side.
platform::ViewRef sliderRow(const std::shared_ptr<Slider>& control, const std::shared_ptr<TextField>& text) {
    auto row = std::make_shared<StackView>(Orientation::Horizontal);
    row->add(control);
    row->add(text);
    return row;
}

std::shared_ptr<PopUpButton> popUp(const std::string& identifier,
                                   std::initializer_list<std::pair<const char*, int>> items,
                                   const PopUpButton::Action& itemAction) {
    auto button = named(std::make_shared<PopUpButton>(), identifier);
    for (const auto& [title, tag] : items) button->addItem(title, tag, itemAction);
    return button;
}

std::shared_ptr<platform::ShortcutRecorder> recorder(PreferenceController& owner, const std::string& identifier) {
    auto control = named(std::make_shared<platform::ShortcutRecorder>(platform::Rect{0, 0, 200, 0}), identifier);
    control->setDelegate(&owner);
    return control;
}

std::shared_ptr<InputField> passwordField(PreferenceController& owner, const std::string& identifier) {
    auto field = named(std::make_shared<InputField>(platform::Rect{0, 0, kFieldWidth, 0}), identifier);
    field->setFont("system", 13);
    field->setBordered(true);
    field->setAction([&owner](TextField& sender) { owner.passwordFieldAction(&sender); });
    return field;
}

std::shared_ptr<StackView> page() { return std::make_shared<StackView>(Orientation::Vertical, 10); }

std::shared_ptr<platform::TableView> table(PreferenceController& owner, const std::string& identifier,
                                           std::initializer_list<platform::TableColumn> columns, double height) {
    auto view = named(std::make_shared<platform::TableView>(platform::Rect{0, 0, 0, height}), identifier);
    for (const platform::TableColumn& column : columns) view->addTableColumn(column);
    view->setDataSource(&owner);
    view->setDelegate(&owner);
    return view;
}

// The events, and beside them the reactions of the chosen one.
platform::ViewRef eventsPage(PreferenceController& o, platform::TableViewRef& events, platform::TableViewRef& actions) {
    using Kind = platform::TableCellKind;
    events = table(o, "events", {{"enabled", "", Kind::CheckBox, 28}, {"name", "Event", Kind::Text, 0}}, 170);
    events->setAction([&o](platform::Object* sender) { o.eventsChanged(sender); });
    actions = table(o, "actions",
                    {{"enabled", "", Kind::CheckBox, 28},
                     {"name", "Reaction", Kind::Text, 120},
                     {"photo", "Photo", Kind::CheckBox, 50},
                     {"details", "Script", Kind::Text, 0}},
                    80);
    actions->setAction([&o](platform::Object* sender) { o.actionsChanged(sender); });
    auto eventsPage = page();
    eventsPage->add(events);
    eventsPage->add(actions);
    return eventsPage;
}

// The sheet that chooses a script and its arguments.
std::shared_ptr<platform::Window> scriptSheet(PreferenceController& o, std::shared_ptr<TextField>& name,
                                              std::shared_ptr<TextField>& arguments, std::shared_ptr<Button>& ok) {
    name = label("scriptNameLabel", kFieldWidth);
    arguments = named(std::make_shared<TextField>(platform::Rect{0, 0, kFieldWidth, 0}), "scriptArguments");
    arguments->setEditable(true);
    arguments->setBordered(true);
    auto choose = pushButton("chooseScript", "Choose\u2026", [&o](Button& sender) { o.wantScriptPath(&sender); });
    ok = pushButton("scriptOkButton", "OK", [&o](Button& sender) { o.scriptDetailsEntered(&sender); });
    auto cancel = pushButton("scriptCancelButton", "Cancel", [&o](Button& sender) { o.scriptDetailsAborted(&sender); });
    auto scriptRow = std::make_shared<StackView>(Orientation::Horizontal);
    scriptRow->add(name);
    scriptRow->add(choose);
    auto form = std::make_shared<FormView>();
    form->addRow("Script:", scriptRow);
    form->addRow("Arguments:", arguments);
    auto buttons = std::make_shared<StackView>(Orientation::Horizontal);
    buttons->add(cancel);
    buttons->add(ok);
    auto content = named(std::make_shared<StackView>(Orientation::Vertical, 12), "scriptPanel");
    content->add(form);
    content->add(buttons);
    auto sheet = std::make_shared<platform::Window>(platform::Rect{0, 0, 460, 120});
    sheet->setTitle("Tarnwick Script");
    sheet->setContentView(content);
    sheet->setDelegate(&o);
    return sheet;
}

}  // namespace

platform::ViewRef loadPreferencePaneInterface(PreferenceController& o) {
    // The bar above the pages: the application's state and the password's.
    o.startStopButton =
        pushButton("startStopButton", "Start", [&o](Button& sender) { o.startStopApplication(&sender); });
    o.passwordSet = label("passwordSet", 150);
    auto setPassword =
        pushButton("setPasswordButton", "Set Password\u2026", [&o](Button& sender) { o.openPasswordWindow(&sender); });
    o.startOnLoginCheckbox = checkBox(o, "startOnLoginCheckbox", "Start Tarnwick at login");
    auto bar = std::make_shared<StackView>(Orientation::Horizontal, 12);
    bar->add(o.startStopButton);
    bar->add(o.passwordSet);
    bar->add(setPassword);
    bar->add(o.startOnLoginCheckbox);
    o.applicationStatus = label("applicationStatus");
    o.applicationStatus->setHidden(true);
    o.loginCompositorNote = label("loginCompositorNote");
    o.loginCompositorNote->setHidden(true);

    // General: when the screen locks, and where Tarnwick shows itself.
    o.autoActivate = slider(o, "autoActivate", 270, 0, false);
    o.autoActivateLabel = label("autoActivateLabel", kSliderLabelWidth);
    o.lockScreenDelayPopupButton = popUp("lockScreenDelayPopupButton",
                                         {{"Always ask for the password", 0},
                                          {"5 seconds", 5},
                                          {"15 seconds", 15},
                                          {"30 seconds", 30},
                                          {"1 minute", 60},
                                          {"5 minutes", 300}},
                                         {});
    o.lockScreenDelayPopupButton->setAction([&o](platform::Object* sender) { o.lockScreenDelayChanged(sender); });
    o.lockOnSleepComputer = checkBox(o, "lockOnSleepComputer", "Lock when the computer goes to sleep");
    o.lockOnStartup = checkBox(o, "lockOnStartup", "Lock as soon as Tarnwick starts");
    o.showInMenu = checkBox(o, "showInMenu", "Show Tarnwick in the panel's tray");
    o.showInDock = checkBox(o, "showInDock", "Show Tarnwick in the task bar (restarts Tarnwick)");
    auto exceptions = pushButton("openExceptionsPanel", "Applications\u2026",
                                 [&o](Button& sender) { o.openExceptionsPanel(&sender); });
    auto generalForm = std::make_shared<FormView>();
    addLabelledRow(*generalForm, "Lock after inactivity:", sliderRow(o.autoActivate, o.autoActivateLabel),
                   *o.autoActivate);
    generalForm->addRow("Never lock by itself while in front:", exceptions);
    generalForm->addRow("Unlock without password after a wake within:", o.lockScreenDelayPopupButton);
    auto general = page();
    general->add(generalForm);
    general->add(o.lockOnSleepComputer);
    general->add(o.lockOnStartup);
    general->add(o.showInMenu);
    general->add(o.showInDock);

    // The lock screen: time limits, dimming, the penalty and its picture.
    o.inputPause = slider(o, "inputPause", 60, 61, true);
    o.inputPauseLabel = label("inputPauseLabel", kSliderLabelWidth);
    o.penalty = slider(o, "penalty", 10, 11, true);
    o.penaltyLabel = label("penaltyLabel", kSliderLabelWidth);
    o.dimScreen = slider(o, "dimScreen", 30, 31, true);
    o.dimScreenLabel = label("dimScreenLabel", kSliderLabelWidth);
    o.dimScreenModePopupButton = popUp(
        "dimScreenModePopupButton",
        {{"Dim the lock picture", 1}, {"Hide the lock picture", 2}, {"Dim the picture and switch the display off", 3}},
        [&o](platform::Object* sender) { o.setDimScreenBehaviour(sender); });
    o.threeWrongsPopupButton = popUp("threeWrongsPopupButton", {{"Stop sign", 1}, {"Peace sign", 2}, {"Rude sign", 3}},
                                     [&o](platform::Object* sender) { o.setThreeWrongsImage(sender); });
    o.fadingEnabled = checkBox(o, "fadingEnabled", "Fade the screen out and in");
    o.whiteScreenDelay = checkBox(o, "whiteScreenDelay", "Keep the screen white for 3 seconds while locking");
    o.ignoreFirstKey = checkBox(o, "ignoreFirstKey", "The key that wakes the dimmed lock screen is not typed");
    auto lockForm = std::make_shared<FormView>();
    addLabelledRow(*lockForm, "Time to type the password:", sliderRow(o.inputPause, o.inputPauseLabel), *o.inputPause);
    addLabelledRow(*lockForm, "Wait after three wrong passwords:", sliderRow(o.penalty, o.penaltyLabel), *o.penalty);
    lockForm->addRow("Picture while waiting:", o.threeWrongsPopupButton);
    addLabelledRow(*lockForm, "Dim the lock screen after:", sliderRow(o.dimScreen, o.dimScreenLabel), *o.dimScreen);
    lockForm->addRow("Dimming:", o.dimScreenModePopupButton);
    auto lockScreen = page();
    lockScreen->add(lockForm);
    lockScreen->add(o.fadingEnabled);
    lockScreen->add(o.whiteScreenDelay);
    lockScreen->add(o.ignoreFirstKey);

    // Hot keys and the event log.
    o.lockScreenHotKeyInput = recorder(o, "lockScreenHotKeyInput");
    o.showLogHotKeyInput = recorder(o, "showLogHotKeyInput");
    o.showLogOnUnlock = checkBox(o, "showLogOnUnlock", "Show the event log after unlocking");
    o.showLogOnUnlockAfterFailedUnlock =
        checkBox(o, "showLogOnUnlockAfterFailedUnlock", "Only when more than locking and unlocking was logged");
    auto hotKeyForm = std::make_shared<FormView>();
    hotKeyForm->addRow("Lock the screen:", o.lockScreenHotKeyInput);
    hotKeyForm->addRow("Show the event log:", o.showLogHotKeyInput);
    o.lockScreenHotKeyInput->setAccessibilityLabel("Hot key that locks the screen");
    o.showLogHotKeyInput->setAccessibilityLabel("Hot key that shows the event log");
    o.hotKeysCompositorNote = label("hotKeysCompositorNote");
    o.hotKeysCompositorNote->setHidden(true);
    auto hotKeys = page();
    hotKeys->add(hotKeyForm);
    hotKeys->add(o.hotKeysCompositorNote);
    hotKeys->add(o.showLogOnUnlock);
    hotKeys->add(o.showLogOnUnlockAfterFailedUnlock);

    // Photos: when they are saved, and where.
    o.saveImagesMode =
        popUp("saveImagesMode", {{"When a script or the event log needs them", 1}, {"As soon as they are taken", 2}},
              [&o](platform::Object* sender) { o.setSaveImagesType(sender); });
    o.saveImagesTo = label("saveImagesTo", kFieldWidth);
    auto chooseFolder =
        pushButton("chooseSaveImagesPath", "Choose\u2026", [&o](Button& sender) { o.setSaveImagesPath(&sender); });
    auto folderRow = std::make_shared<StackView>(Orientation::Horizontal);
    folderRow->add(o.saveImagesTo);
    folderRow->add(chooseFolder);
    o.videoPopupButton = popUp("videoPopupButton", {{"Don't take photos", 0}},
                               [&o](platform::Object* sender) { o.videoCaptureDeviceChanged(sender); });
    o.videoSearchIndicator =
        named(std::make_shared<platform::ProgressIndicator>(platform::Rect{0, 0, 60, 0}), "videoSearchIndicator");
    o.videoSearchIndicator->setDisplayedWhenStopped(false);
    o.videoSearchInfo = label("videoSearchInfo");
    o.videoSearchInfo->setStringValue("Looking for cameras\u2026");
    o.videoSearchInfo->setHidden(true);
    o.updateVideoDevicesButton =
        pushButton("updateVideoDevicesButton", "Look Again", [&o](Button& sender) { o.updateVideoDevices(&sender); });
    auto cameraRow = std::make_shared<StackView>(Orientation::Horizontal);
    cameraRow->add(o.videoPopupButton);
    cameraRow->add(o.updateVideoDevicesButton);
    cameraRow->add(o.videoSearchIndicator);
    cameraRow->add(o.videoSearchInfo);
    auto photoForm = std::make_shared<FormView>();
    photoForm->addRow("Camera:", cameraRow);
    photoForm->addRow("Save photos:", o.saveImagesMode);
    photoForm->addRow("Folder:", folderRow);
    auto photos = page();
    photos->add(photoForm);

    // Bluetooth: the device that locks and unlocks, chosen in the device sheet.
    o.bluetoothDevicePanelController = std::make_shared<BluetoothDevicePanelController>();
    o.bluetoothDevicePanelController->setPreferencesController(&o);
    o.bluetoothPanel_ = loadBluetoothPanelInterface(*o.bluetoothDevicePanelController);
    o.bluetoothPanel_->setDelegate(&o);
    o.lockViaBluetooth = checkBox(o, "lockViaBluetooth", "Lock and unlock with a Bluetooth device");
    o.bluetoothDeviceName = label("bluetoothDeviceName", kFieldWidth);
    auto bluetooth = page();
    bluetooth->add(o.lockViaBluetooth);
    bluetooth->add(o.bluetoothDeviceName);

    auto tabs = named(std::make_shared<platform::TabView>(), "tabs");
    tabs->addTab("General", general);
    tabs->addTab("Events", eventsPage(o, o.events, o.actions));
    tabs->addTab("Lock Screen", lockScreen);
    tabs->addTab("Hot Keys and Log", hotKeys);
    tabs->addTab("Photos", photos);
    tabs->addTab("Bluetooth", bluetooth);

    auto main = named(std::make_shared<StackView>(Orientation::Vertical, 12), "mainView");
    main->add(bar);
    main->add(o.applicationStatus);
    main->add(o.loginCompositorNote);
    main->add(tabs);

    // The password sheet.
    o.oldPassword = passwordField(o, "oldPassword");
    o.newPassword = passwordField(o, "newPassword");
    o.newPasswordRepeat = passwordField(o, "newPasswordRepeat");
    // A new password is typed, never pasted: the lock screen takes only keys.
    o.newPassword->setAcceptsPaste(false);
    o.newPasswordRepeat->setAcceptsPaste(false);
    o.changePassword =
        pushButton("changePassword", "Change Password", [&o](Button& sender) { o.passwordEntered(&sender); });
    auto cancel = pushButton("cancelPassword", "Cancel", [&o](Button& sender) { o.closePasswordWindow(&sender); });
    auto passwordForm = std::make_shared<FormView>();
    passwordForm->addRow("Current password:", o.oldPassword);
    passwordForm->addRow("New password:", o.newPassword);
    passwordForm->addRow("Repeat the new password:", o.newPasswordRepeat);
    auto buttons = std::make_shared<StackView>(Orientation::Horizontal);
    buttons->add(cancel);
    buttons->add(o.changePassword);
    auto sheet = named(std::make_shared<StackView>(Orientation::Vertical, 12), "passwordPanel");
    sheet->add(passwordForm);
    sheet->add(buttons);
    o.passwordPanel = std::make_shared<platform::Window>(platform::Rect{0, 0, 420, 160});
    o.passwordPanel->setTitle("Tarnwick Password");
    o.passwordPanel->setContentView(sheet);
    o.passwordPanel->setDelegate(&o);

    o.scriptPanel = scriptSheet(o, o.scriptNameLabel, o.scriptArguments, o.scriptOkButton);

    o.exceptionsPanelController = std::make_shared<ExceptionsPanelController>();
    o.exceptionsPanelController->setPreferencesController(&o);
    o.exceptionsPanel = loadExceptionsPanelInterface(*o.exceptionsPanelController,
                                                     [&o](Button& sender) { o.hideExceptionsPanel(&sender); });
    o.exceptionsPanel->setDelegate(&o);

    // Every object of the interface exists and is connected: the sheets' controllers may read their settings.
    o.bluetoothDevicePanelController->awakeFromNib();
    o.exceptionsPanelController->awakeFromNib();
    return main;
}
