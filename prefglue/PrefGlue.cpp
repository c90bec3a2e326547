#include "prefglue/PrefGlue.h"

#include "platform/foundation/Defaults.h"
#include "platform/foundation/KeyedArchive.h"

namespace {

platform::Value storedValue(const std::string& key, const std::string& appID) {
    return platform::preferences::copyAppValue(key, appID);
}

}  // namespace

extern "C" {

platform::ObjectRef PreferencesObjectValue(const std::string& key, const platform::Data* defaultValue,
                                           const std::string& appID) {
    const platform::Value stored = storedValue(key, appID);
    const platform::Data* chosen = stored.isData() ? &stored.dataValue() : defaultValue;
    if (!chosen) return nullptr;
    return platform::KeyedUnarchiver::unarchiveObjectWithData(*chosen);
}

platform::Array PreferencesArrayValue(const std::string& key, const platform::Array& defaultValue,
                                      const std::string& appID) {
    const platform::Value stored = storedValue(key, appID);
    return stored.isArray() ? stored.arrayValue() : defaultValue;
}

std::string PreferencesStringValue(const std::string& key, const std::string& defaultValue, const std::string& appID) {
    const platform::Value stored = storedValue(key, appID);
    return stored.isString() ? stored.stringValue() : defaultValue;
}

float PreferencesFloatValue(const std::string& key, float defaultValue, const std::string& appID) {
    const platform::Value stored = storedValue(key, appID);
    return stored.isNumber() ? stored.floatValue() : defaultValue;
}

std::int64_t PreferencesIntegerValue(const std::string& key, std::int64_t defaultValue, const std::string& appID) {
    const platform::Value stored = storedValue(key, appID);
    return stored.isNumber() ? stored.integerValue() : defaultValue;
}

bool PreferencesBoolValue(const std::string& key, bool defaultValue, const std::string& appID) {
    const platform::Value stored = storedValue(key, appID);
    return stored.isBoolean() ? stored.boolValue() : defaultValue;
}
}
