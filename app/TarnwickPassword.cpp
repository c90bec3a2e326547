#include "app/Tarnwick.h"

#include "shared/TarnwickConstants.h"
#include "platform/foundation/Date.h"
#include "app/TarnwickDefaults.h"
#include "shared/InputField.h"
#include "shared/PasswordDigest.h"
#include "shared/QMASL.h"
#include "platform/services/AttemptsRecord.h"

#include <algorithm>
#include <cmath>

namespace {

// Keys that never change the typed text: Tab, the function keys, keypad
// Clear, and the navigation block from Home to the arrows.
bool leavesTextAlone(std::uint16_t keyCode) {
    switch (keyCode) {
        case 48:
        case 64:
        case 71:
        case 79:
        case 80:
        case 90:
        case 96:
        case 97:
        case 98:
        case 99:
        case 100:
        case 101:
        case 103:
        case 105:
        case 106:
        case 107:
        case 109:
        case 111:
        case 113: return true;
        default: return keyCode >= 115 && keyCode <= 126;
    }
}

// A time in whole units from the settings, as a timer can hold it: a stored
// value past a day is a day; one below zero, not a number or infinite is
// the application's default.
std::int64_t storedDuration(const char* key) {
    constexpr std::int64_t kOneDay = std::int64_t{24} * 60 * 60;
    const platform::Value stored = defaults().objectForKey(key);
    const double number = stored.doubleValue();
    if (stored.isNumber() && (!std::isfinite(number) || number < 0)) {
        const platform::Dictionary registered = defaults().registeredDefaults();
        const auto fallback = registered.find(key);
        return fallback == registered.end() ? 0 : std::clamp<std::int64_t>(fallback->second.integerValue(), 0, kOneDay);
    }
    return std::clamp<std::int64_t>(stored.integerValue(), 0, kOneDay);
}

// Longer passwords are no use and each key would cost more; further
// characters are ignored.
constexpr std::size_t kMaximumPasswordCharacters = 1024;

std::size_t characterCount(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Drops the last character, never half of one: a UTF-8 sequence goes whole.
std::string withoutLastCharacter(const std::string& text) {
    std::size_t end = text.size();
    if (end == 0) return text;
    --end;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

const char* retriesImage(std::int32_t retriesLeft) {
    switch (retriesLeft) {
        case 3: return "three.png";
        case 2: return "two.png";
        case 1: return "one.png";
        default: return nullptr;
    }
}

const char* penaltyImage(std::int64_t choice) {
    switch (choice) {
        case 1: return "stop.png";
        case 2: return "peace.png";
        case 3: return "f_ckoff.png";
        default: return nullptr;
    }
}

}  // namespace

void Tarnwick::setLockImage(const std::string& name) { imageView->setImage(platform::Image::named(name)); }

void Tarnwick::postEvent(const char* eventName, const std::optional<std::string>& password) {
    platform::Dictionary userInfo{{"eventName", eventName}, {"timestamp", platform::Date::now()}};
    if (password) userInfo["password"] = *password;
    platform::NotificationCenter::defaultCenter().post(eventName, {}, std::move(userInfo));
}

// The log never says which key was typed, neither its characters nor its
// code: every key here may be part of the password.
void Tarnwick::keyDown(const platform::EventRef& event) {
    if (event->isARepeat()) return;
    if (states.dim() == DimState::Dimmed) {
        QMLog(7, "KEY DOWN while dimmed. Activating");
        makeActive();
        if (defaults().boolForKey(kPrefIgnoreFirstKey)) {
            QMLog(7, "SKIPPING KEY DOWN, kPrefIgnoreFirstKey set");
            return;
        }
    }
    // Guessing is slowed down: during the penalty nothing typed is kept or
    // checked, though it still counts as input.
    if (isPenaltyRunning()) {
        QMLog(7, "KEY DOWN during the penalty: ignored");
        gotEvent(event);
        return;
    }
    QMLog(7, "PROCESSING KEY DOWN");

    const std::uint16_t code = event->keyCode();
    if (code == platform::keycode::Return || code == platform::keycode::KeypadEnter) {
        passwordEntered(this);
    } else if (code == platform::keycode::Delete) {
        if (!passwordField->stringValue().empty())
            passwordField->setStringValue(withoutLastCharacter(passwordField->stringValue()));
    } else if (code == platform::keycode::Escape) {
        passwordField->setStringValue("");
    } else if (!leavesTextAlone(code) && characterCount(passwordField->stringValue()) < kMaximumPasswordCharacters) {
        passwordField->setStringValue(passwordField->stringValue() + event->characters());
        passwordIsChanging(this);
    }
    gotEvent(event);
}

void Tarnwick::mouseDown(const platform::EventRef& event) { gotEvent(event); }

void Tarnwick::mouseMoved(const platform::EventRef& event) { gotEvent(event); }

void Tarnwick::flagsChanged(const platform::EventRef& event) { gotEvent(event); }

bool Tarnwick::performKeyEquivalent(const platform::EventRef&) { return true; }

void Tarnwick::gotEvent(const platform::EventRef& event) {
    if (!states.inputAccepted()) return;
    if (states.dim() == DimState::Dimmed) {
        QMLog(7, "-> gotEvent() (%@); inputAccepted: %d, dim_status: %d; lock_status: %d", event, 1,
              static_cast<int>(DimState::Dimmed), static_cast<int>(states.lock()));
        makeActive();
    } else if (states.isLocked()) {
        restartTimer(LockTimer::Dim);
    }
}

void Tarnwick::passwordIsChanging(platform::Object*) {
    QMLog(7, "passwordIsChanging");
    if (const char* image = retriesImage(retriesLeft)) setLockImage(image);
    restartTimer(LockTimer::InputLimit);
    restartTimer(LockTimer::Dim);
}

void Tarnwick::passwordEntered(platform::Object*) {
    if (isPenaltyRunning()) return;
    const platform::Value stored = defaults().objectForKey(kPrefPassword);
    const auto digest = stored.isString() ? password_digest::normalised(stored.stringValue()) : std::nullopt;
    if (digest && *digest == passwordField->md5String()) {
        unlockScreen();
        return;
    }

    infoText->setStringValue("Wrong password. Try again.");
    --retriesLeft;
    const std::string typed = passwordField->stringValue();
    if (defaults().boolForKey(kPrefThreeWrongPassword) && retriesLeft == 0)
        postEvent(kThreeWrongPasswordEvent, typed);
    else if (defaults().boolForKey(kPrefWrongPassword))
        postEvent(kWrongPasswordEvent, typed);
    passwordField->setStringValue("");

    switch (retriesLeft) {
        case 2:
            restartTimer(LockTimer::InputLimit);
            setLockImage("two.png");
            break;
        case 1:
            restartTimer(LockTimer::InputLimit);
            setLockImage("one.png");
            break;
        case 0:
            infoText->setStringValue("");
            if (const char* image = penaltyImage(defaults().integerForKey(kPrefThreeWrongPasswordsImage)))
                setLockImage(image);
            passwordField->setHidden(true);
            penalty = static_cast<std::int32_t>(storedDuration(kPrefPenalty) * 60 + 5);
            restartTimer(LockTimer::Penalty);
            stopTimer(LockTimer::InputLimit);
            break;
        default: break;
    }
    recordAttempts();
}

void Tarnwick::delayLogin(platform::Timer&) {
    const auto penaltySeconds = static_cast<std::int32_t>(storedDuration(kPrefPenalty) * 60);
    if (penalty > penaltySeconds) {
        --penalty;
    } else if (penalty > 0) {
        setLockImage("lock.png");
        --penalty;
    } else {
        setLockImage("lock.png");
        infoText->setStringValue(promptText());
        passwordField->setHidden(false);
        retriesLeft = 3;
        stopTimer(LockTimer::Penalty);
        restartTimer(LockTimer::InputLimit);
        recordAttempts();
    }
}

void Tarnwick::noActivity() {
    setLockImage("lock.png");
    passwordField->setStringValue("");
    if (defaults().boolForKey(kPrefPasswordTimeout)) postEvent(kPasswordTimeoutEvent);
}

// The field comes back at the tick after the countdown reaches zero.
void Tarnwick::recordAttempts() const {
    if (!platform::AttemptsRecord::isInstalled()) return;
    const double waitSeconds = isPenaltyRunning() ? penalty + 1.0 : 0.0;
    platform::AttemptsRecord::shared().record(3 - retriesLeft, waitSeconds);
}

bool Tarnwick::isPenaltyRunning() const {
    const platform::TimerRef& penaltyTimer = timer(LockTimer::Penalty);
    return penaltyTimer && penaltyTimer->isValid();
}

void Tarnwick::restartTimer(LockTimer which) {
    auto& loop = platform::RunLoop::main();
    platform::TimerRef& field = lockTimers_[static_cast<std::size_t>(which)];
    switch (which) {
        case LockTimer::Dim: {
            stopTimer(which);
            const double interval = static_cast<double>(storedDuration(kPrefDimScreen)) * 60;
            if (interval > 0) field = loop.scheduleTimer(interval, false, [this](platform::Timer&) { makeInactive(); });
            break;
        }
        case LockTimer::InputLimit: {
            // Limits the whole entry, not the gap between keys: a running
            // one is left alone.
            const auto pause = storedDuration(kPrefInputPause);
            if (pause <= 0 || (field && field->isValid())) return;
            field = loop.scheduleTimer(static_cast<double>(pause), false, [this](platform::Timer&) { noActivity(); });
            break;
        }
        case LockTimer::Penalty:
            stopTimer(which);
            field = loop.scheduleTimer(1.0, true, [this](platform::Timer& t) { delayLogin(t); });
            break;
    }
}

void Tarnwick::stopTimer(LockTimer which) {
    platform::TimerRef& field = lockTimers_[static_cast<std::size_t>(which)];
    if (field) field->invalidate();
    field.reset();
}
