#pragma once

#include "platform/services/Service.h"

#include <string>
#include <vector>

namespace platform {

// Which characters the keyboard in use can type at the lock screen: those
// on its keys, and those its locale's compose sequences make from them.
class LayoutCharacters : public Service<LayoutCharacters> {
public:
    virtual ~LayoutCharacters() = default;
    // The characters of `text` (UTF-8) that cannot be typed, each once, in
    // the order they first appear; empty when all can, or when the keyboard
    // cannot be read.
    virtual std::vector<std::string> untypable(const std::string& text) = 0;
};

}  // namespace platform
