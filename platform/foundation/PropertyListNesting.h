#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::plist {

// Whether no array or dictionary of a serialized property list (XML or
// binary) lies deeper than maxDepth. The parser recurses once per level, so
// a file nested a hundred thousand levels deep would overflow the stack:
// this looks first, without recursing. Depends on nothing else, so that the
// lock guard, which reads the same file, compiles it too.
bool nestingWithin(const std::uint8_t* bytes, std::size_t size, int maxDepth);

}  // namespace platform::plist
