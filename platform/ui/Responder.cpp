#include "platform/ui/Responder.h"

namespace platform {

void Responder::keyDown(const EventRef& event) {
    if (next_) next_->keyDown(event);
}

void Responder::mouseDown(const EventRef& event) {
    if (next_) next_->mouseDown(event);
}

void Responder::mouseMoved(const EventRef& event) {
    if (next_) next_->mouseMoved(event);
}

void Responder::mouseEntered(const EventRef& event) {
    if (next_) next_->mouseEntered(event);
}

void Responder::mouseExited(const EventRef& event) {
    if (next_) next_->mouseExited(event);
}

void Responder::flagsChanged(const EventRef& event) {
    if (next_) next_->flagsChanged(event);
}

bool Responder::performKeyEquivalent(const EventRef&) { return false; }

}  // namespace platform
