#pragma once

// The libplist calls whose form differs between the releases Tarnwick builds
// on: 2.3 gave plist_from_memory a format argument and an error code, made the
// writers return one, and freed their output with plist_mem_free instead of
// plist_to_bin_free and plist_to_xml_free (Debian 12 has 2.2, Debian 13 2.6).
// The build compiles this adapter for the release it finds; everything else
// calls these functions.

#include <plist/plist.h>

#include <cstdint>
#include <vector>

namespace platform::plist::libplist {

// The root of an XML or binary property list, for the caller to plist_free,
// or nullptr. Newer releases also read JSON and OpenStep texts; those are
// refused, so that a file means the same on every release.
plist_t fromMemory(const char* bytes, std::uint32_t length);

// The node's property list in the binary or XML format; empty when libplist
// cannot write it.
std::vector<std::uint8_t> toBinary(plist_t node);
std::vector<std::uint8_t> toXml(plist_t node);

}  // namespace platform::plist::libplist
