#pragma once

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

#include <cstdint>
#include <string>

// Typed readers of another application's preferences domain. Each call reads
// the stored value anew and falls back to the caller's default when the key
// is missing or holds a value of another type. Booleans and numbers are
// distinct: a Boolean never satisfies a number reader, nor a number the
// Boolean reader. The library keeps no state; any thread may call.

extern "C" {

// The object unarchived from the stored data, or else from `defaultValue`;
// none when both are missing (or the data is no keyed archive).
platform::ObjectRef PreferencesObjectValue(const std::string& key, const platform::Data* defaultValue,
                                           const std::string& appID);
platform::Array PreferencesArrayValue(const std::string& key, const platform::Array& defaultValue,
                                      const std::string& appID);
std::string PreferencesStringValue(const std::string& key, const std::string& defaultValue, const std::string& appID);
float PreferencesFloatValue(const std::string& key, float defaultValue, const std::string& appID);
// A real number is truncated toward zero.
std::int64_t PreferencesIntegerValue(const std::string& key, std::int64_t defaultValue, const std::string& appID);
bool PreferencesBoolValue(const std::string& key, bool defaultValue, const std::string& appID);
}
