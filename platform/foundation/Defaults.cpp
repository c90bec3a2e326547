#include "platform/foundation/Defaults.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/PreferencesDomain.h"

#include <memory>

namespace platform {

namespace {

std::mutex standardLock;
std::string standardDomain;
std::map<std::string, std::unique_ptr<Defaults>>& standardInstances() {
    static std::map<std::string, std::unique_ptr<Defaults>> instances;
    return instances;
}

}  // namespace

Defaults::Defaults(std::string domainIdentifier) : domain_(std::move(domainIdentifier)) {}

Defaults& Defaults::standard() {
    std::lock_guard<std::mutex> guard(standardLock);
    std::string domain = standardDomain.empty() ? Bundle::main().bundleIdentifier() : standardDomain;
    if (domain.empty()) domain = "com.quillmere.unknown";
    auto& slot = standardInstances()[domain];
    if (!slot) slot = std::make_unique<Defaults>(domain);
    return *slot;
}

void Defaults::setStandardDomain(const std::string& identifier) {
    std::lock_guard<std::mutex> guard(standardLock);
    standardDomain = identifier;
    // A fresh start for the domain: registered defaults belong to one run.
    standardInstances().erase(identifier);
}

PreferencesDomain& Defaults::storage() const { return PreferencesDomain::named(domain_); }

Value Defaults::storedValue(const std::string& key) const {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (held_) {
            auto it = held_->find(key);
            return it == held_->end() ? Value() : it->second;
        }
    }
    return storage().get(key);
}

Value Defaults::objectForKey(const std::string& key) const {
    Value stored = storedValue(key);
    if (!stored.isNull()) return stored;
    std::lock_guard<std::mutex> guard(lock_);
    auto it = registered_.find(key);
    return it == registered_.end() ? Value() : it->second;
}

std::string Defaults::stringForKey(const std::string& key) const {
    const Value v = objectForKey(key);
    if (v.isString()) return v.stringValue();
    if (v.isNumber()) return v.description();
    return {};
}

Array Defaults::arrayForKey(const std::string& key) const { return objectForKey(key).arrayValue(); }

void Defaults::setObject(const Value& value, const std::string& key) {
    storage().set(key, value);
    storage().synchronize();
    std::lock_guard<std::mutex> guard(lock_);
    if (!held_) return;
    if (value.isNull())
        held_->erase(key);
    else
        (*held_)[key] = value;
}

void Defaults::holdStoredValues() {
    Dictionary stored = storage().snapshot();
    std::lock_guard<std::mutex> guard(lock_);
    held_ = std::move(stored);
}

void Defaults::releaseStoredValues() {
    std::lock_guard<std::mutex> guard(lock_);
    held_.reset();
}

void Defaults::removeObject(const std::string& key) { setObject(Value(), key); }

void Defaults::registerDefaults(const Dictionary& defaults) {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& [k, v] : defaults) registered_[k] = v;
}

Dictionary Defaults::registeredDefaults() const {
    std::lock_guard<std::mutex> guard(lock_);
    return registered_;
}

bool Defaults::synchronize() { return storage().synchronize(); }

namespace preferences {

Value copyAppValue(const std::string& key, const std::string& applicationID) {
    return PreferencesDomain::named(applicationID).get(key);
}

void setAppValue(const std::string& key, const Value& value, const std::string& applicationID) {
    PreferencesDomain::named(applicationID).set(key, value);
}

bool appSynchronize(const std::string& applicationID) { return PreferencesDomain::named(applicationID).synchronize(); }

}  // namespace preferences

}  // namespace platform
