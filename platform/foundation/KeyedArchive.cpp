#include "platform/foundation/KeyedArchive.h"

#include "platform/foundation/BluetoothDevice.h"
#include "platform/foundation/PropertyList.h"

#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace platform {

namespace {

// Archive dates count from 2001-01-01 00:00:00 UTC, as property-list dates do.
constexpr double kReferenceDateOffset = 978307200.0;
// Deeper graphs than this are taken for corrupt (or hostile) data.
constexpr int kMaximumDepth = 64;

constexpr const char* kUIDKey = "CF$UID";
constexpr const char* kClassKey = "$class";

// ---------------------------------------------------------------------------
// The coder registry

struct CoderRegistry {
    std::mutex lock;
    std::vector<KeyedCoder> coders{BluetoothDevice::keyedCoder()};
};

CoderRegistry& registry() {
    static CoderRegistry shared;
    return shared;
}

std::optional<KeyedCoder> coderForClassName(const std::string& className) {
    CoderRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (const KeyedCoder& coder : r.coders)
        if (coder.className == className) return coder;
    return std::nullopt;
}

std::optional<KeyedCoder> coderForObject(const Object& object) {
    CoderRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (const KeyedCoder& coder : r.coders)
        if (coder.handles && coder.handles(object)) return coder;
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// UIDs, kept in values as one-key dictionaries {"CF$UID": n}

Value uid(std::int64_t index) { return Value(Dictionary{{kUIDKey, Value(static_cast<long long>(index))}}); }

bool isUID(const Value& value) {
    if (!value.isDictionary()) return false;
    const Dictionary& d = value.dictionaryValue();
    return d.size() == 1 && d.begin()->first == kUIDKey && d.begin()->second.kind() == Value::Kind::Integer;
}

std::int64_t uidIndex(const Value& value) { return value[kUIDKey].integerValue(); }

// ---------------------------------------------------------------------------
// Writing

class ArchiveWriter {
public:
    ArchiveWriter() : objects_{Value("$null")} {}

    // The root's UID, or nullopt when some object in the graph has no coder.
    std::optional<Value> encodeRoot(const ObjectRef& root) { return reference(Value(root), 0); }

    Value archive(const Value& rootUID) const {
        return Value(Dictionary{
            {"$archiver", Value("NSKeyedArchiver")},
            {"$version", Value(100000)},
            {"$top", Value(Dictionary{{"root", rootUID}})},
            {"$objects", Value(objects_)},
        });
    }

private:
    // A field of an archived object: scalars stand inline, everything else
    // is an object of its own referred to by UID.
    std::optional<Value> field(const Value& value, int depth) {
        switch (value.kind()) {
            case Value::Kind::Boolean:
            case Value::Kind::Integer:
            case Value::Kind::Real: return value;
            default: return reference(value, depth);
        }
    }

    std::optional<Value> reference(const Value& value, int depth) {
        if (depth > kMaximumDepth) return std::nullopt;
        switch (value.kind()) {
            case Value::Kind::Null: return uid(0);
            case Value::Kind::Boolean:
            case Value::Kind::Integer:
            case Value::Kind::Real:
            case Value::Kind::String:
            case Value::Kind::Data: return append(value);
            case Value::Kind::Date: {
                const double seconds =
                    static_cast<double>(value.dateValue().millisecondsSinceEpoch()) / 1000.0 - kReferenceDateOffset;
                return append(Value(Dictionary{{"NS.time", Value(seconds)}, {kClassKey, classUID("NSDate")}}));
            }
            case Value::Kind::Array: return encodeArray(value.arrayValue(), depth);
            case Value::Kind::Dictionary: return encodeDictionary(value.dictionaryValue(), depth);
            case Value::Kind::Object: return encodeObject(value.objectValue(), depth);
        }
        return std::nullopt;
    }

    std::optional<Value> encodeArray(const Array& array, int depth) {
        Array members;
        for (const Value& member : array) {
            auto ref = reference(member, depth + 1);
            if (!ref) return std::nullopt;
            members.push_back(*ref);
        }
        return append(Value(Dictionary{{"NS.objects", Value(std::move(members))}, {kClassKey, classUID("NSArray")}}));
    }

    std::optional<Value> encodeDictionary(const Dictionary& dictionary, int depth) {
        Array keys;
        Array members;
        for (const auto& [key, member] : dictionary) {
            auto ref = reference(member, depth + 1);
            if (!ref) return std::nullopt;
            keys.push_back(*reference(Value(key), depth + 1));
            members.push_back(*ref);
        }
        return append(Value(Dictionary{{"NS.keys", Value(std::move(keys))},
                                       {"NS.objects", Value(std::move(members))},
                                       {kClassKey, classUID("NSDictionary")}}));
    }

    // An object met twice is archived once; later meetings refer to it.
    std::optional<Value> encodeObject(const ObjectRef& object, int depth) {
        if (!object) return uid(0);
        if (auto seen = objectUIDs_.find(object.get()); seen != objectUIDs_.end()) return uid(seen->second);
        auto coder = coderForObject(*object);
        if (!coder || !coder->encode) return std::nullopt;
        const std::int64_t index = static_cast<std::int64_t>(objects_.size());
        objects_.emplace_back();
        objectUIDs_[object.get()] = index;
        Dictionary fields;
        for (const auto& [key, member] : coder->encode(*object)) {
            if (key == kClassKey) continue;
            auto encoded = field(member, depth + 1);
            if (!encoded) return std::nullopt;
            fields.emplace(key, std::move(*encoded));
        }
        fields.emplace(kClassKey, classUID(coder->className));
        objects_[static_cast<std::size_t>(index)] = Value(std::move(fields));
        return uid(index);
    }

    Value classUID(const std::string& className) {
        if (auto known = classUIDs_.find(className); known != classUIDs_.end()) return uid(known->second);
        const Value description(Dictionary{
            {"$classname", Value(className)},
            {"$classes", Value(Array{Value(className), Value("NSObject")})},
        });
        Value ref = append(description);
        classUIDs_[className] = uidIndex(ref);
        return ref;
    }

    Value append(Value value) {
        objects_.push_back(std::move(value));
        return uid(static_cast<std::int64_t>(objects_.size()) - 1);
    }

    Array objects_;
    std::map<const Object*, std::int64_t> objectUIDs_;
    std::map<std::string, std::int64_t> classUIDs_;
};

// ---------------------------------------------------------------------------
// Reading. Every step checks what it reads: a wrong kind, an index out of
// range, a cycle or an unknown class makes the whole archive unreadable.

class ArchiveReader {
public:
    explicit ArchiveReader(const Array& objects) : objects_(objects) {}

    std::optional<Value> objectAt(const Value& reference, int depth) {
        if (!isUID(reference) || depth > kMaximumDepth) return std::nullopt;
        const std::int64_t index = uidIndex(reference);
        if (index < 0 || index >= static_cast<std::int64_t>(objects_.size())) return std::nullopt;
        if (auto done = decoded_.find(index); done != decoded_.end()) return done->second;
        if (!inProgress_.insert(index).second) return std::nullopt;
        auto result = decodeEntry(index, depth);
        inProgress_.erase(index);
        if (result) decoded_[index] = *result;
        return result;
    }

private:
    std::optional<Value> decodeEntry(std::int64_t index, int depth) {
        const Value& entry = objects_[static_cast<std::size_t>(index)];
        if (index == 0 && entry.isString() && entry.stringValue() == "$null") return Value();
        if (!entry.isDictionary()) return entry;
        const auto className = classNameOf(entry);
        if (!className) return std::nullopt;
        return decodeInstance(entry, *className, depth);
    }

    std::optional<std::string> classNameOf(const Value& entry) {
        const Value& classRef = entry[kClassKey];
        if (!isUID(classRef)) return std::nullopt;
        const std::int64_t index = uidIndex(classRef);
        if (index < 0 || index >= static_cast<std::int64_t>(objects_.size())) return std::nullopt;
        const Value& name = objects_[static_cast<std::size_t>(index)]["$classname"];
        if (!name.isString()) return std::nullopt;
        return name.stringValue();
    }

    std::optional<Value> decodeInstance(const Value& entry, const std::string& className, int depth) {
        if (className == "NSArray" || className == "NSMutableArray") return decodeArray(entry, depth);
        if (className == "NSDictionary" || className == "NSMutableDictionary") return decodeDictionary(entry, depth);
        if (className == "NSString" || className == "NSMutableString")
            return typed(entry["NS.string"], &Value::isString);
        if (className == "NSData" || className == "NSMutableData") return typed(entry["NS.data"], &Value::isData);
        if (className == "NSDate") return decodeDate(entry);
        auto coder = coderForClassName(className);
        if (!coder || !coder->decode) return std::nullopt;
        Dictionary fields;
        for (const auto& [key, member] : entry.dictionaryValue()) {
            if (key == kClassKey) continue;
            auto value = isUID(member) ? objectAt(member, depth + 1) : std::optional<Value>(member);
            if (!value) return std::nullopt;
            if (!value->isNull()) fields.emplace(key, std::move(*value));
        }
        ObjectRef object = coder->decode(fields);
        if (!object) return std::nullopt;
        return Value(std::move(object));
    }

    std::optional<Value> decodeArray(const Value& entry, int depth) {
        const Value& members = entry["NS.objects"];
        if (!members.isArray()) return std::nullopt;
        Array result;
        for (const Value& member : members.arrayValue()) {
            auto value = objectAt(member, depth + 1);
            if (!value) return std::nullopt;
            result.push_back(std::move(*value));
        }
        return Value(std::move(result));
    }

    std::optional<Value> decodeDictionary(const Value& entry, int depth) {
        const Value& keys = entry["NS.keys"];
        const Value& members = entry["NS.objects"];
        if (!keys.isArray() || !members.isArray() || keys.arrayValue().size() != members.arrayValue().size())
            return std::nullopt;
        Dictionary result;
        for (std::size_t i = 0; i < keys.arrayValue().size(); ++i) {
            auto key = objectAt(keys.arrayValue()[i], depth + 1);
            auto value = objectAt(members.arrayValue()[i], depth + 1);
            if (!key || !key->isString() || !value) return std::nullopt;
            result.emplace(key->stringValue(), std::move(*value));
        }
        return Value(std::move(result));
    }

    static std::optional<Value> decodeDate(const Value& entry) {
        const Value& time = entry["NS.time"];
        if (!time.isNumber() || !std::isfinite(time.doubleValue())) return std::nullopt;
        const double ms = std::round((time.doubleValue() + kReferenceDateOffset) * 1000.0);
        if (std::fabs(ms) > 9.0e15) return std::nullopt;
        return Value(Date::fromMilliseconds(static_cast<std::int64_t>(ms)));
    }

    static std::optional<Value> typed(const Value& value, bool (Value::*isKind)() const) {
        if (!(value.*isKind)()) return std::nullopt;
        return value;
    }

    const Array& objects_;
    std::map<std::int64_t, Value> decoded_;
    std::set<std::int64_t> inProgress_;
};

}  // namespace

Data KeyedArchiver::archivedDataWithRootObject(const ObjectRef& object) {
    if (!object) return {};
    ArchiveWriter writer;
    auto root = writer.encodeRoot(object);
    if (!root) return {};
    return plist::serialize(writer.archive(*root), plist::Format::Binary);
}

ObjectRef KeyedUnarchiver::unarchiveObjectWithData(const Data& data) {
    auto archive = plist::parse(data);
    if (!archive || !archive->isDictionary()) return nullptr;
    const Value& archiver = (*archive)["$archiver"];
    const Value& objects = (*archive)["$objects"];
    const Value& root = (*archive)["$top"]["root"];
    if (!archiver.isString() || archiver.stringValue() != "NSKeyedArchiver" || !objects.isArray() || !isUID(root))
        return nullptr;
    ArchiveReader reader(objects.arrayValue());
    auto decoded = reader.objectAt(root, 0);
    if (!decoded || !decoded->isObject()) return nullptr;
    return decoded->objectValue();
}

void registerKeyedCoder(KeyedCoder coder) {
    CoderRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (KeyedCoder& known : r.coders) {
        if (known.className == coder.className) {
            known = std::move(coder);
            return;
        }
    }
    r.coders.push_back(std::move(coder));
}

}  // namespace platform
