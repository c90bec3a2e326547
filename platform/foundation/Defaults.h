#pragma once

#include "platform/foundation/Value.h"

#include <mutex>
#include <optional>
#include <string>

namespace platform {

class PreferencesDomain;

// The user defaults of one process: the stored values of its own domain, with
// the registered defaults behind them. Registered defaults live only in the
// process and are never written.
class Defaults {
public:
    explicit Defaults(std::string domainIdentifier);

    // The standard defaults of the process: the main bundle's identifier,
    // unless a domain was chosen with setStandardDomain.
    static Defaults& standard();
    static void setStandardDomain(const std::string& identifier);

    const std::string& domainIdentifier() const { return domain_; }

    Value objectForKey(const std::string& key) const;
    Value valueForKey(const std::string& key) const { return objectForKey(key); }
    bool boolForKey(const std::string& key) const { return objectForKey(key).boolValue(); }
    std::int64_t integerForKey(const std::string& key) const { return objectForKey(key).integerValue(); }
    float floatForKey(const std::string& key) const { return objectForKey(key).floatValue(); }
    std::string stringForKey(const std::string& key) const;
    Array arrayForKey(const std::string& key) const;

    // Stored at once.
    void setObject(const Value& value, const std::string& key);
    void setValue(const Value& value, const std::string& key) { setObject(value, key); }
    void removeObject(const std::string& key);

    void registerDefaults(const Dictionary& defaults);
    Dictionary registeredDefaults() const;
    bool synchronize();

    // While held, reads answer from the values stored when the hold began,
    // whatever another process writes to the file meanwhile; what this
    // process sets is stored and seen as usual.
    void holdStoredValues();
    void releaseStoredValues();

private:
    PreferencesDomain& storage() const;
    Value storedValue(const std::string& key) const;

    std::string domain_;
    mutable std::mutex lock_;
    Dictionary registered_;
    std::optional<Dictionary> held_;
};

// Reads and writes another application's domain by identifier.
namespace preferences {

Value copyAppValue(const std::string& key, const std::string& applicationID);
// A null value removes the key. Kept pending until appSynchronize.
void setAppValue(const std::string& key, const Value& value, const std::string& applicationID);
bool appSynchronize(const std::string& applicationID);

}  // namespace preferences

}  // namespace platform
