#pragma once

#include "platform/ui/View.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class Window;

namespace windowlevel {
constexpr int Normal = 0;
constexpr int Floating = 3;
// Above everything, as captured displays are shielded.
constexpr int Shielding = 2147483630;
}  // namespace windowlevel

class WindowDelegate {
public:
    virtual ~WindowDelegate() = default;
    virtual bool windowShouldClose(Window&) { return true; }
    virtual void windowDidBecomeKey(Window&) {}
    virtual void windowDidResignKey(Window&) {}
};

// A window model: frame, level, opacity, background, content view, first
// responder, visibility and key status. One window at a time is key.
class Window : public Responder {
public:
    // A borderless window has neither title bar nor frame; the others are
    // decorated by the window manager.
    enum StyleMask : unsigned { Borderless = 0, Titled = 1u << 0, Closable = 1u << 1, Resizable = 1u << 3 };

    explicit Window(Rect contentRect = {}, unsigned styleMask = Titled);
    ~Window() override;

    unsigned styleMask() const { return styleMask_; }
    // Sets the window off from what lies below it, borderless ones above all.
    bool hasShadow() const { return hasShadow_; }
    void setHasShadow(bool shadow) { hasShadow_ = shadow; }

    const Rect& frame() const { return frame_; }
    void setFrame(const Rect& frame, bool display = true);
    int level() const { return level_; }
    void setLevel(int level);
    double alphaValue() const { return alpha_; }
    void setAlphaValue(double alpha);
    const Color& backgroundColor() const { return background_; }
    void setBackgroundColor(const Color& color);
    const std::string& title() const { return title_; }
    void setTitle(const std::string& title);

    const ViewRef& contentView() const { return contentView_; }
    void setContentView(const ViewRef& view);

    Responder* firstResponder() const { return firstResponder_; }
    // Asks the current first responder to resign; false when it refuses.
    bool makeFirstResponder(Responder* responder);

    virtual bool canBecomeKeyWindow() const { return true; }
    bool isVisible() const { return visible_; }
    bool isKeyWindow() const;
    void makeKeyAndOrderFront();
    // The window stops being key without another of ours taking its place:
    // the user turned to another application.
    void resignKey();
    void orderFront();
    void orderOut();
    // performClose asks the delegate first; close does not.
    void performClose();
    void close();

    bool acceptsMouseMovedEvents() const { return acceptsMouseMoved_; }
    void setAcceptsMouseMovedEvents(bool accepts) { acceptsMouseMoved_ = accepts; }
    bool isOneShot() const { return oneShot_; }
    void setOneShot(bool oneShot) { oneShot_ = oneShot; }

    // A sheet: a window attached to this one that takes its input until it
    // ends. One at a time; beginning another while one is up does nothing.
    void beginSheet(Window& sheet);
    // Detaches the sheet; the sheet's owner orders it out.
    void endSheet(Window& sheet);
    Window* attachedSheet() const { return attachedSheet_; }
    Window* sheetParent() const { return sheetParent_; }

    WindowDelegate* delegate() const { return delegate_; }
    void setDelegate(WindowDelegate* delegate) { delegate_ = delegate; }

    // Routes an event: key equivalents, then keys and mouse to the first
    // responder (the window itself when there is none).
    virtual void sendEvent(const EventRef& event);

    static Window* keyWindow();
    // Visible windows, front first.
    static std::vector<Window*> orderedWindows();
    // Where keys and the pointer go: the shielding window in front while
    // one is up (nothing may reach the windows it covers), else the key window.
    static Window* inputTarget();

    void setPeer(std::shared_ptr<Peer> peer) { peer_ = std::move(peer); }
    Peer* peer() const { return peer_.get(); }

    // A drawing backend attaches its peer to every window the first time the
    // window is ordered on screen; without a provider windows stay models.
    using PeerProvider = std::function<void(Window&)>;
    static void setPeerProvider(PeerProvider provider);

protected:
    void changed();

private:
    Rect frame_;
    unsigned styleMask_;
    bool hasShadow_ = false;
    int level_ = windowlevel::Normal;
    double alpha_ = 1.0;
    Color background_ = Color::white();
    std::string title_;
    ViewRef contentView_;
    Responder* firstResponder_ = nullptr;
    bool visible_ = false;
    bool acceptsMouseMoved_ = false;
    bool oneShot_ = false;
    WindowDelegate* delegate_ = nullptr;
    Window* attachedSheet_ = nullptr;
    Window* sheetParent_ = nullptr;
    std::shared_ptr<Peer> peer_;
};

}  // namespace platform
