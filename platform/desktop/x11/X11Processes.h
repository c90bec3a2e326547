#pragma once

#include "platform/desktop/x11/X11Session.h"
#include "platform/services/Processes.h"

namespace platform::desktop {

// The frontmost application is the owner of the window the window manager
// calls active (_NET_ACTIVE_WINDOW): its _NET_WM_PID, or the process the X
// resource extension knows for the window's client. A process serial number
// carries that window in its high half and the process id in its low half,
// so the application can be brought back by activating the same window.
class X11Processes final : public Processes {
public:
    explicit X11Processes(X11Session& session) : session_(session) {}

    int frontProcess(ProcessSerialNumber& psn) override;
    int setFrontProcess(const ProcessSerialNumber& psn) override;
    int processName(const ProcessSerialNumber& psn, std::string& name) override;
    int transformCurrentProcess(ProcessType type) override;
    std::int32_t systemVersion() override;

    // Status codes as the platform's process services answer them.
    static constexpr int kProcessNotFound = -600;
    static constexpr int kParameterError = -50;

private:
    unsigned long activeWindow();
    long windowPid(unsigned long window);
    long clientPid(unsigned long window);

    X11Session& session_;
};

}  // namespace platform::desktop
