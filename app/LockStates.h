#pragma once

#include <cstdint>
#include <ostream>

// The lock's life. Everything here is read and changed on the main thread
// only; other threads hand their requests to the main run loop.

// Where the lock is. Unlocked and Locked keep the numbers other programs
// and the logs have always known (2 and 1).
enum class LockState : std::int32_t { Locked = 1, Unlocked = 2, SettingUp = 3 };

// The lock screen's look: the password prompt on white, or dimmed.
enum class DimState : std::int32_t { Dimmed = 0, Active = 1 };

// The fade of every display to a solid colour and back, one pair at a time.
enum class FadeState { Idle, FadingOut, FadedOut, FadingIn };

// The lock screen's three one-purpose timers.
enum class LockTimer { Dim, InputLimit, Penalty };

// Who asked for a lock. A person may be told why a lock cannot be made;
// every other lock is tried again until it holds or its reason is gone.
enum class LockTrigger { Person, Inactivity, Sleep, Bluetooth, StartUp };

const char* nameOf(LockState state);
const char* nameOf(DimState state);
const char* nameOf(FadeState state);
const char* nameOf(LockTrigger trigger);

inline std::ostream& operator<<(std::ostream& out, LockState state) { return out << nameOf(state); }
inline std::ostream& operator<<(std::ostream& out, DimState state) { return out << nameOf(state); }
inline std::ostream& operator<<(std::ostream& out, FadeState state) { return out << nameOf(state); }

// The states together, with the moves allowed between them; a move that is
// not allowed answers false and changes nothing.
class LockStateMachine {
public:
    LockState lock() const { return lock_; }
    DimState dim() const { return dim_; }
    FadeState fade() const { return fade_; }
    bool inputAccepted() const { return inputAccepted_; }
    bool sleeping() const { return sleeping_; }

    bool isLocked() const { return lock_ == LockState::Locked; }
    bool isUnlocked() const { return lock_ == LockState::Unlocked; }
    bool isSettingUp() const { return lock_ == LockState::SettingUp; }

    // Unlocked → SettingUp.
    bool beginSetUp() { return move(lock_, LockState::Unlocked, LockState::SettingUp); }
    // SettingUp → Locked: the displays are held.
    bool holds() { return move(lock_, LockState::SettingUp, LockState::Locked); }
    // SettingUp → Unlocked: the lock could not be made.
    bool abandonSetUp() { return move(lock_, LockState::SettingUp, LockState::Unlocked); }
    // Locked → Unlocked.
    bool beginUnlock() { return move(lock_, LockState::Locked, LockState::Unlocked); }

    void setDim(DimState state) { dim_ = state; }

    // Idle → FadingOut → FadedOut → FadingIn → Idle.
    bool beginFadeOut() { return move(fade_, FadeState::Idle, FadeState::FadingOut); }
    bool fadedOut() { return move(fade_, FadeState::FadingOut, FadeState::FadedOut); }
    bool beginFadeIn() { return move(fade_, FadeState::FadedOut, FadeState::FadingIn); }
    bool fadedIn() { return move(fade_, FadeState::FadingIn, FadeState::Idle); }

    // Input wakes the lock screen only once its fade-in is over.
    void refuseInput() { inputAccepted_ = false; }
    void acceptInput() { inputAccepted_ = true; }

    void setSleeping(bool sleeping) { sleeping_ = sleeping; }

private:
    template <typename State>
    static bool move(State& state, State from, State to) {
        if (state != from) return false;
        state = to;
        return true;
    }

    LockState lock_ = LockState::Unlocked;
    DimState dim_ = DimState::Active;
    FadeState fade_ = FadeState::Idle;
    bool inputAccepted_ = false;
    bool sleeping_ = false;
};
