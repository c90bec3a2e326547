#pragma once

// The vocabulary shared by the application and its settings: domain, event
// and request names, hot-key identifiers and settings keys.

#include "shared/PreferencesContract.h"

inline constexpr const char* kPreferencesObject = "com.quillmere.TarnwickPreferences";

inline constexpr const char* kScreenLockedEvent = "com.quillmere.Tarnwick.screenLockedEvent";
inline constexpr const char* kScreenUnlockedEvent = "com.quillmere.Tarnwick.screenUnlockedEvent";
inline constexpr const char* kWrongPasswordEvent = "com.quillmere.Tarnwick.wrongPasswordEvent";
inline constexpr const char* kThreeWrongPasswordEvent = "com.quillmere.Tarnwick.threeWrongPasswordEvent";
inline constexpr const char* kPasswordTimeoutEvent = "com.quillmere.Tarnwick.passwordTimeoutEvent";
inline constexpr const char* kPhotoReadyNotification = "com.quillmere.Tarnwick.photoReadyNotification";
inline constexpr const char* kLockRequest = "com.quillmere.Tarnwick.screenLockRequest";
inline constexpr const char* kUnlockRequest = "com.quillmere.Tarnwick.screenUnlockRequest";
inline constexpr const char* kLockScreenHotKey = "Tarnwick Lock Screen Hot Key";
inline constexpr const char* kShowLogHotKey = "Tarnwick Show Log Hot Key";

// Distributed notifications between the application and the pane.
inline constexpr const char* kStartNotification = "startNotification";
inline constexpr const char* kStopNotification = "stopNotification";
inline constexpr const char* kVideoLockFailedNotification = "videoLockFailed";
inline constexpr const char* kChangeNotification = "changeNotification";

// Per-event key prefixes and action names.
inline constexpr const char* kPrefScreenLocked = "screenLocked";
inline constexpr const char* kPrefScreenUnlocked = "screenUnlocked";
inline constexpr const char* kPrefWrongPassword = "wrongPassword";
inline constexpr const char* kPrefThreeWrongPassword = "threeWrongPassword";
inline constexpr const char* kPrefPasswordTimeout = "passwordTimeout";
inline constexpr const char* kActionLog = "log";
inline constexpr const char* kActionScript = "script";
inline constexpr const char* kActionEmail = "email";
// Between the script's path and its arguments in *event*.script.details.
inline constexpr const char* kScriptDetailsSeparator = "|||";

// General keys.
inline constexpr const char* kPrefPassword = "password";
inline constexpr const char* kPrefPasswordInputSource = "passwordInputSource";
inline constexpr const char* kPrefVideoCaptureDevice = "videoCaptureDevice";
inline constexpr const char* kPrefShowInMenu = "showInMenu";
inline constexpr const char* kPrefShowInDock = "showInDock";
inline constexpr const char* kPrefShowLogOnUnlock = "showLogOnUnlock";
inline constexpr const char* kPrefShowLogOnUnlockAfterFailedUnlock = "showLogOnUnlockAfterFailedUnlock";
inline constexpr const char* kPrefDimScreenMode = "dimScreenMode";
inline constexpr const char* kPrefFadingEnabled = "fadingEnabled";
inline constexpr const char* kPrefPenalty = "penalty";
inline constexpr const char* kPrefInputPause = "inputPause";
inline constexpr const char* kPrefDimScreen = "dimScreen";
inline constexpr const char* kPrefLockScreenDelay = "lockScreenDelay";
inline constexpr const char* kPrefWhiteScreenDelay = "whiteScreenDelay";
inline constexpr const char* kPrefLockOnSleepComputer = "lockOnSleepComputer";
inline constexpr const char* kPrefLockOnStartup = "lockOnStartup";
inline constexpr const char* kPrefIgnoreFirstKey = "ignoreFirstKey";
inline constexpr const char* kPrefThreeWrongPasswordsImage = "threeWrongPasswordsImage";
inline constexpr const char* kPrefAutoActivate = "autoActivate";
inline constexpr const char* kPrefLockViaBluetooth = "lockViaBluetooth";
inline constexpr const char* kPrefBluetoothDevice = "bluetoothDevice";
inline constexpr const char* kPrefBluetoothTimeout = "bluetoothTimeout";
inline constexpr const char* kPrefBluetoothUnlockOnly = "bluetoothUnlockOnly";
inline constexpr const char* kPrefExceptions = "exceptions";
inline constexpr const char* kPrefSaveImagesImmediately = "saveImagesImmediately";
inline constexpr const char* kPrefSaveImagesPath = "saveImagesPath";
inline constexpr const char* kPrefLockScreenHotKeyCode = "lockScreenHotKeyCode";
inline constexpr const char* kPrefLockScreenHotKeyModifiers = "lockScreenHotKeyModifiers";
inline constexpr const char* kPrefShowLogHotKeyCode = "showLogHotKeyCode";
inline constexpr const char* kPrefShowLogHotKeyModifiers = "showLogHotKeyModifiers";
inline constexpr const char* kPrefLogLevel = "logLevel";

// Photo file names: the event's time stamp in this format, then ".tiff".
inline constexpr const char* kPhotoTimestampFormat = "%Y%m%d%H%M%S%F";
