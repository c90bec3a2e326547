#include "platform/ui/Event.h"

namespace platform {

std::shared_ptr<Event> Event::keyDown(std::uint16_t keyCode, std::string characters, bool isARepeat,
                                      std::uint32_t modifiers) {
    return std::make_shared<Event>(Type::KeyDown, keyCode, std::move(characters), isARepeat, modifiers);
}

std::shared_ptr<Event> Event::ofType(Type type) { return std::make_shared<Event>(type, 0, "", false); }

std::string Event::description() const {
    return "NSEvent: type=" + std::to_string(static_cast<int>(type_)) + " keyCode=" + std::to_string(keyCode_) +
           " chars=\"" + characters_ + "\"";
}

}  // namespace platform
