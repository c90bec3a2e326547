#pragma once

#include "platform/foundation/Object.h"
#include "platform/ui/Event.h"

namespace platform {

// Receives input. The default handlers pass events up the responder chain.
class Responder : public Object {
public:
    virtual void keyDown(const EventRef& event);
    virtual void mouseDown(const EventRef& event);
    virtual void mouseMoved(const EventRef& event);
    // The pointer crossed into or out of a tracking rectangle the responder owns.
    virtual void mouseEntered(const EventRef& event);
    virtual void mouseExited(const EventRef& event);
    virtual void flagsChanged(const EventRef& event);
    virtual bool performKeyEquivalent(const EventRef& event);

    virtual bool acceptsFirstResponder() const { return false; }
    virtual bool becomeFirstResponder() { return true; }
    virtual bool resignFirstResponder() { return true; }

    void setNextResponder(Responder* next) { next_ = next; }

private:
    Responder* next_ = nullptr;
};

}  // namespace platform
