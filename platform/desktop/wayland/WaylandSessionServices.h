#pragma once

#include "platform/services/Displays.h"
#include "platform/services/Input.h"
#include "platform/services/Processes.h"

#include <string>
#include <vector>

namespace platform::desktop::wayland {

// The services that a Wayland compositor does not offer a client, in their
// Wayland form: what they can honestly answer.

// No window list without the compositor's toplevel protocol: no application
// is known to be in front.
class WaylandProcesses final : public Processes {
public:
    int frontProcess(ProcessSerialNumber&) override { return kNoFrontProcess; }
    int setFrontProcess(const ProcessSerialNumber&) override { return kNoFrontProcess; }
    int processName(const ProcessSerialNumber&, std::string&) override { return kNoFrontProcess; }
    int transformCurrentProcess(ProcessType) override { return 0; }
    std::int32_t systemVersion() override { return 0x1070; }

private:
    static constexpr int kNoFrontProcess = -600;  // procNotFound
};

// The compositor owns the keyboard layout; the lock reads whatever keymap it sends.
class WaylandInputSources final : public InputSources {
public:
    std::string current() override { return {}; }
    std::vector<std::string> enabledWithIdentifier(const std::string& identifier) override { return {identifier}; }
    int select(const std::string&) override { return 0; }
};

// Clients get no global keys on Wayland: the compositor binds them (to
// tarnwick-ctl lock).
class WaylandHotKeyCenter final : public HotKeyCenter {
public:
    bool registerHotKey(const HotKeyRef&) override { return false; }
    void unregisterHotKey(const HotKeyRef&) override {}
};

// Clients see no input but their own on Wayland.
class WaylandEventTap final : public EventTap {
public:
    bool create(Callback) override { return false; }
    void destroy() override {}
};

// Displays switched off only with the compositor's output-power protocol.
class NoDisplayPowerControl final : public DisplayPower {
public:
    bool hasPowerEntry() override { return false; }
    void requestIdle() override {}
};

}  // namespace platform::desktop::wayland
