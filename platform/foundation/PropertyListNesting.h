#pragma once

#include "platform/foundation/Value.h"

namespace platform::plist {

// Whether no array or dictionary of a serialized property list (XML or
// binary) lies deeper than maxDepth. The parser recurses once per level, so
// a file nested a hundred thousand levels deep would overflow the stack:
// this looks first, without recursing.
bool nestingWithin(const Data& bytes, int maxDepth);

}  // namespace platform::plist
