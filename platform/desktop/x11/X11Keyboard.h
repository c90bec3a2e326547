#pragma once

#include <QObject>
#include <QTimer>

#include "platform/desktop/x11/X11Keymaps.h"
#include "platform/desktop/x11/X11Session.h"
#include "platform/desktop/xkb/KeyDecoder.h"

#include <X11/Xlib.h>
#include <deque>
#include <functional>
#include <memory>

namespace platform::desktop {

// The keyboard as the lock reads it: every key decoded, dead keys and
// compose sequences included, with the keymap that was live on the server
// when the key was pressed. Keymap changes are read in event order: a key
// is decoded with the keymap of the last change announced before it, which
// a watch on a connection of its own has read the moment it was announced.
// A key that comes before the watch has read its keymap waits for it, and
// the keys behind it wait in order.
class X11Keyboard : public QObject {
public:
    using Sink = std::function<void(const XKeyEvent& event, const KeyDecoder::Key& key, xkb_keysym_t baseKeysym)>;

    X11Keyboard(X11Session& session, Sink sink);
    ~X11Keyboard() override;

    void take(const XKeyEvent& event);
    // Forgets waiting keys and an unfinished compose sequence.
    void reset();

private:
    struct Waiting {
        XKeyEvent event;
        KeymapStamp stamp;
    };
    bool onEvent(XEvent& event);
    void keymapAnnounced(std::uint32_t time);
    void decodeWaiting();
    bool useKeymapOf(const KeymapStamp& stamp, bool evenIfBehind);
    void decode(const XKeyEvent& event);

    X11Session& session_;
    Sink sink_;
    KeyDecoder decoder_;
    xkb_context* context_;
    std::unique_ptr<X11KeymapWatch> watch_;
    int listener_ = 0;
    int xkbEventBase_ = -1;
    KeymapStamp announced_;  // the last change announced on the session's connection
    KeymapStamp decoding_;   // the change whose keymap the decoder holds
    std::deque<Waiting> waiting_;
    // A watch that stays behind (its connection broken) holds no key for
    // long: they are then decoded with the newest keymap at hand.
    QTimer behind_;
};

}  // namespace platform::desktop
