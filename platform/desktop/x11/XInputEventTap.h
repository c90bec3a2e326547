#pragma once

#include "platform/desktop/x11/X11Session.h"
#include "platform/services/Input.h"

namespace platform::desktop {

// A listen-only tap on the session's input: XInput2 raw events (keys,
// buttons, motion) of every device, selected on the root window. Raw events
// arrive whatever window has the focus and whoever holds a grab.
class XInputEventTap final : public EventTap {
public:
    explicit XInputEventTap(X11Session& session) : session_(session) {}
    ~XInputEventTap() override { destroy(); }

    bool create(Callback callback) override;
    void destroy() override;

private:
    bool handle(XEvent& event);
    void selectRawEvents(bool on);

    X11Session& session_;
    Callback callback_;
    int listener_ = 0;
};

}  // namespace platform::desktop
