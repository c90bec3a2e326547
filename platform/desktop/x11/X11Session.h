#pragma once

#include <QObject>

#include "platform/desktop/xkb/KeyTranslation.h"

#include <X11/Xlib.h>
#include <functional>
#include <initializer_list>
#include <map>

class QSocketNotifier;

namespace platform::desktop {

// The backend's own Xlib connection: grabs, covering windows, gamma ramps,
// hot keys, raw input and keyboard layouts all go through it, apart from the
// connection Qt draws with. Events are read on the main thread and handed to
// the listeners in arrival order, in batches: what the connection holds when
// a batch begins, however fast other clients make more, so that a flood of
// events never keeps the event loop from its other work.
class X11Session : public QObject {
public:
    // Takes ownership of an open display.
    explicit X11Session(Display* display);
    ~X11Session() override;

    Display* display() const { return display_; }
    ::Window root() const { return root_; }

    // A listener answers true when the event was its own; the others are not asked.
    using Listener = std::function<bool(XEvent&)>;
    int addListener(Listener listener);
    void removeListener(int id);
    // Runs after each batch of events, once every event of it was handed out.
    int addBatchListener(std::function<void()> listener);
    void removeBatchListener(int id);
    // Reads and dispatches one batch: the events the connection holds now.
    void pump();

    // Modifier masks of this keyboard (Num Lock and Super live on varying Mod bits).
    const keys::ModifierMasks& modifierMasks() const { return masks_; }
    void refreshModifierMasks();

    // Adds or removes core event bits on a window (a root, usually),
    // keeping the other bits this connection selected there.
    void selectInput(::Window window, long mask, bool on);

    // XInput2 events selected on the root window. XISelectEvents replaces a
    // client's whole mask for a device, so every user of the connection
    // selects through here: a selection holds until its last user lets go.
    void selectRootXIEvents(int deviceId, std::initializer_list<int> events, bool on);

    int xinputOpcode() const { return xinputOpcode_; }
    int randrEventBase() const { return randrEventBase_; }
    bool hasXInput2() const { return xinputOpcode_ >= 0; }

    // Collects X errors of the calls between construction and `finish`
    // instead of ending the process; answers the first error code (0 none).
    class ErrorTrap {
    public:
        explicit ErrorTrap(X11Session& session);
        ~ErrorTrap();
        int finish();

    private:
        X11Session& session_;
        bool finished_ = false;
    };

private:
    void dispatch(XEvent& event);

    Display* display_;
    ::Window root_;
    QSocketNotifier* notifier_ = nullptr;
    std::map<int, Listener> listeners_;
    std::map<int, std::function<void()>> batchListeners_;
    int nextListener_ = 1;
    keys::ModifierMasks masks_;
    // (device, event type) -> number of users.
    std::map<std::pair<int, int>, int> rootXISelections_;
    int xinputOpcode_ = -1;
    int randrEventBase_ = -1;
};

}  // namespace platform::desktop
