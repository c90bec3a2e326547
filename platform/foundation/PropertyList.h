#pragma once

#include "platform/foundation/Value.h"

#include <optional>
#include <string>

namespace platform::plist {

// Reads XML or binary property lists. nullopt when the bytes are no property list.
std::optional<Value> parse(const Data& bytes);
std::optional<Value> readFile(const std::string& path);

enum class Format { Xml, Binary };
// Objects, which no property list can hold, are left out. Binary keeps dates
// to the millisecond; XML, by its own format, to the second.
Data serialize(const Value& value, Format format = Format::Xml);

}  // namespace platform::plist
