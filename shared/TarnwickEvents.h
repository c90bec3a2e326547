#pragma once

#include "platform/foundation/Value.h"
#include "shared/TarnwickConstants.h"

#include <array>
#include <string>
#include <string_view>

// The five events, each once: how it is posted, which settings keys it has,
// what the event log writes for it and how the settings list it.
struct TarnwickEvent {
    const char* name;         // the notification
    const char* prefix;       // of its settings keys
    const char* title;        // its row in the settings' Events table
    const char* logMessage;   // its entry in the event log
    const char* logIcon;      // the entry's picture while no photo is coming
    bool carriesPassword;     // the typed text is in its user info
    bool logsPhotoByDefault;  // *event*.log.photo while nothing is stored
};

inline constexpr const char* kMaskedPasswordMessage = "Invalid password entered: ******";

// In the order the settings list them.
inline constexpr std::array<TarnwickEvent, 5> kTarnwickEvents{{
    {kWrongPasswordEvent, kPrefWrongPassword, "Wrong Password", kMaskedPasswordMessage, "hand 18x18", true, true},
    {kThreeWrongPasswordEvent, kPrefThreeWrongPassword, "3x Wrong Password", kMaskedPasswordMessage, "hand 18x18", true,
     true},
    {kScreenLockedEvent, kPrefScreenLocked, "Lock Screen", "Screen locked", "NSLockLockedTemplate", false, true},
    {kScreenUnlockedEvent, kPrefScreenUnlocked, "Unlock Screen", "Screen unlocked", "NSLockUnlockedTemplate", false,
     false},
    {kPasswordTimeoutEvent, kPrefPasswordTimeout, "Password Timeout", "Password was not entered in time", "clock",
     false, true},
}};

// The event posted under this notification name; none for any other name.
const TarnwickEvent* tarnwickEventNamed(std::string_view name);

// *event*.*action*, and the keys below it: *event*.*action*.photo and
// *event*.script.details.
std::string actionKey(std::string_view prefix, std::string_view action);
std::string photoKey(std::string_view actionKey);
std::string detailsKey(std::string_view actionKey);

// Every event key with the value it has while nothing is stored: each event
// is posted and logged, with a photo but for the unlock; no script runs and
// no mail is sent. The application registers these, the settings fall back
// on them.
const platform::Dictionary& eventDefaults();
