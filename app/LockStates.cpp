#include "app/LockStates.h"

const char* nameOf(LockState state) {
    switch (state) {
        case LockState::Locked: return "locked";
        case LockState::Unlocked: return "unlocked";
        case LockState::SettingUp: return "setting up";
    }
    return "?";
}

const char* nameOf(DimState state) { return state == DimState::Active ? "active" : "dimmed"; }

const char* nameOf(FadeState state) {
    switch (state) {
        case FadeState::Idle: return "idle";
        case FadeState::FadingOut: return "fading out";
        case FadeState::FadedOut: return "faded out";
        case FadeState::FadingIn: return "fading in";
    }
    return "?";
}

const char* nameOf(LockTrigger trigger) {
    switch (trigger) {
        case LockTrigger::Person: return "asked for";
        case LockTrigger::Inactivity: return "inactivity";
        case LockTrigger::Sleep: return "sleep";
        case LockTrigger::Bluetooth: return "the Bluetooth device away";
        case LockTrigger::StartUp: return "start-up";
    }
    return "?";
}
