#include "platform/foundation/Object.h"

#include <cstdio>

namespace platform {

std::string Object::description() const {
    char text[48];
    std::snprintf(text, sizeof text, "<Object %p>", static_cast<const void*>(this));
    return text;
}

}  // namespace platform
