#include "platform/ui/Window.h"

#include <algorithm>
#include <mutex>

namespace platform {

namespace {

// Window ordering belongs to the main thread, like every window operation.
Window* currentKeyWindow = nullptr;
std::vector<Window*>& visibleWindows() {
    static std::vector<Window*> windows;
    return windows;
}

Window::PeerProvider& peerProvider() {
    static Window::PeerProvider provider;
    return provider;
}

void bringToFront(Window* w) {
    auto& list = visibleWindows();
    list.erase(std::remove(list.begin(), list.end(), w), list.end());
    list.insert(list.begin(), w);
}

}  // namespace

Window::Window(Rect contentRect, unsigned styleMask) : frame_(contentRect), styleMask_(styleMask) {}

Window::~Window() {
    if (currentKeyWindow == this) currentKeyWindow = nullptr;
    if (sheetParent_) sheetParent_->endSheet(*this);
    if (attachedSheet_) endSheet(*attachedSheet_);
    auto& list = visibleWindows();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (contentView_) contentView_->setWindow(nullptr);
}

void Window::changed() {
    if (peer_) peer_->modelChanged();
}

void Window::setFrame(const Rect& frame, bool) {
    frame_ = frame;
    changed();
}

void Window::setLevel(int level) {
    level_ = level;
    changed();
}

void Window::setAlphaValue(double alpha) {
    alpha_ = alpha;
    changed();
}

void Window::setBackgroundColor(const Color& color) {
    background_ = color;
    changed();
}

void Window::setTitle(const std::string& title) {
    title_ = title;
    changed();
}

void Window::setContentView(const ViewRef& view) {
    if (contentView_) contentView_->setWindow(nullptr);
    contentView_ = view;
    if (contentView_) {
        contentView_->setNextResponder(this);
        contentView_->setWindow(this);
    }
    changed();
}

bool Window::makeFirstResponder(Responder* responder) {
    if (firstResponder_ == responder) return true;
    if (firstResponder_ && !firstResponder_->resignFirstResponder()) return false;
    firstResponder_ = nullptr;
    if (responder && !responder->becomeFirstResponder()) return false;
    firstResponder_ = responder;
    changed();
    return true;
}

bool Window::isKeyWindow() const { return currentKeyWindow == this; }

void Window::resignKey() {
    if (currentKeyWindow != this) return;
    currentKeyWindow = nullptr;
    if (delegate_) delegate_->windowDidResignKey(*this);
}

void Window::makeKeyAndOrderFront() {
    orderFront();
    if (!canBecomeKeyWindow() || currentKeyWindow == this) return;
    if (currentKeyWindow) currentKeyWindow->resignKey();
    currentKeyWindow = this;
    changed();
    if (delegate_) delegate_->windowDidBecomeKey(*this);
}

void Window::setPeerProvider(PeerProvider provider) { peerProvider() = std::move(provider); }

void Window::orderFront() {
    if (!peer_ && peerProvider()) peerProvider()(*this);
    visible_ = true;
    bringToFront(this);
    changed();
}

void Window::orderOut() {
    resignKey();
    visible_ = false;
    auto& list = visibleWindows();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    changed();
}

void Window::performClose() {
    if (delegate_ && !delegate_->windowShouldClose(*this)) return;
    close();
}

void Window::close() { orderOut(); }

void Window::sendEvent(const EventRef& event) {
    Responder* target = firstResponder_ ? firstResponder_ : this;
    switch (event->type()) {
        case Event::Type::KeyDown:
            // Combinations with Command or Control are offered as key
            // equivalents first; a taken one goes no further.
            if ((event->modifierFlags() & (Event::Command | Event::Control)) && target->performKeyEquivalent(event))
                return;
            target->keyDown(event);
            return;
        case Event::Type::LeftMouseDown:
        case Event::Type::RightMouseDown:
        case Event::Type::OtherMouseDown: target->mouseDown(event); return;
        case Event::Type::MouseMoved: target->mouseMoved(event); return;
        case Event::Type::FlagsChanged: target->flagsChanged(event); return;
        default: return;
    }
}

void Window::beginSheet(Window& sheet) {
    if (attachedSheet_ || sheet.sheetParent_ || &sheet == this) return;
    attachedSheet_ = &sheet;
    sheet.sheetParent_ = this;
    sheet.makeKeyAndOrderFront();
    changed();
}

void Window::endSheet(Window& sheet) {
    if (attachedSheet_ != &sheet) return;
    attachedSheet_ = nullptr;
    sheet.sheetParent_ = nullptr;
    changed();
}

Window* Window::keyWindow() { return currentKeyWindow; }

std::vector<Window*> Window::orderedWindows() { return visibleWindows(); }

Window* Window::inputTarget() {
    for (Window* window : visibleWindows()) {
        if (window->level() >= windowlevel::Shielding) return window;
    }
    return currentKeyWindow;
}

}  // namespace platform
