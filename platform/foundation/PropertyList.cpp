#include "platform/foundation/PropertyList.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyListNesting.h"
#include "platform/foundation/libplist/Libplist.h"
#include "shared/PreferencesContract.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <plist/plist.h>

namespace platform::plist {

namespace {

// Every property list is held to the limits of the preferences file, the
// largest that is read, so that all readers of that file take the same files.
constexpr int kMaximumNesting = preferences_contract::kDeepestNesting;
constexpr std::size_t kMaximumFileBytes = preferences_contract::kLargestFileBytes;

// Property-list dates count from 2001-01-01 00:00:00 UTC.
constexpr std::int64_t kReferenceDateOffset = 978307200;

struct NodeOwner {
    plist_t node;
    ~NodeOwner() {
        if (node) plist_free(node);
    }
};

std::optional<Value> fromNode(plist_t node);

// The seconds since 2001 that a date node holds. libplist hands them out only
// as whole seconds truncated toward zero plus the fraction's magnitude, which
// loses the sign of dates less than a second before 2001; its binary form holds
// the exact number: "bplist00", then the date marker 0x33 and a big-endian double.
double referenceSecondsOfDate(plist_t node) {
    NodeOwner copy{plist_copy(node)};
    const Data bytes = libplist::toBinary(copy.node);
    double seconds = 0;
    if (bytes.size() >= 17 && bytes[8] == 0x33) {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | bytes[9 + i];
        std::memcpy(&seconds, &bits, sizeof seconds);
    } else {
        std::int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        seconds = sec + (sec < 0 ? -usec : usec) / 1e6;
    }
    return seconds;
}

std::optional<Value> fromDictionary(plist_t node) {
    Dictionary result;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node, &it);
    for (;;) {
        char* key = nullptr;
        plist_t child = nullptr;
        plist_dict_next_item(node, it, &key, &child);
        if (!child) {
            std::free(key);
            break;
        }
        auto value = fromNode(child);
        if (key && value) result.emplace(key, std::move(*value));
        std::free(key);
        if (!value) {
            std::free(it);
            return std::nullopt;
        }
    }
    std::free(it);
    return Value(std::move(result));
}

std::optional<Value> fromNode(plist_t node) {
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return Value(b != 0);
        }
        case PLIST_UINT: {
            std::uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return Value(static_cast<long long>(static_cast<std::int64_t>(u)));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return Value(d);
        }
        case PLIST_STRING: {
            char* s = nullptr;
            plist_get_string_val(node, &s);
            Value v(std::string(s ? s : ""));
            std::free(s);
            return v;
        }
        case PLIST_KEY: {
            char* s = nullptr;
            plist_get_key_val(node, &s);
            Value v(std::string(s ? s : ""));
            std::free(s);
            return v;
        }
        case PLIST_DATA: {
            char* bytes = nullptr;
            std::uint64_t length = 0;
            plist_get_data_val(node, &bytes, &length);
            Data d(reinterpret_cast<std::uint8_t*>(bytes), reinterpret_cast<std::uint8_t*>(bytes) + length);
            std::free(bytes);
            return Value(std::move(d));
        }
        case PLIST_DATE: {
            const std::int64_t ms = kReferenceDateOffset * 1000 + std::llround(referenceSecondsOfDate(node) * 1000.0);
            return Value(Date::fromMilliseconds(ms));
        }
        case PLIST_UID: {
            std::uint64_t uid = 0;
            plist_get_uid_val(node, &uid);
            // Keyed archives refer to objects by UID; kept as a one-key dictionary.
            return Value(Dictionary{{"CF$UID", Value(static_cast<long long>(uid))}});
        }
        case PLIST_ARRAY: {
            Array result;
            const std::uint32_t n = plist_array_get_size(node);
            for (std::uint32_t i = 0; i < n; ++i) {
                auto value = fromNode(plist_array_get_item(node, i));
                if (!value) return std::nullopt;
                result.push_back(std::move(*value));
            }
            return Value(std::move(result));
        }
        case PLIST_DICT: return fromDictionary(node);
        default: return std::nullopt;
    }
}

plist_t toNode(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Boolean: return plist_new_bool(value.boolValue() ? 1 : 0);
        case Value::Kind::Integer: return plist_new_uint(static_cast<std::uint64_t>(value.integerValue()));
        case Value::Kind::Real: return plist_new_real(value.doubleValue());
        case Value::Kind::String: return plist_new_string(value.stringValue().c_str());
        case Value::Kind::Data: {
            const Data& d = value.dataValue();
            return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
        }
        case Value::Kind::Date: {
            const std::int64_t ms = value.dateValue().millisecondsSinceEpoch() - kReferenceDateOffset * 1000;
            std::int64_t sec = ms / 1000;
            std::int64_t rest = ms % 1000;
            if (rest < 0) {
                rest += 1000;
                sec -= 1;
            }
            return plist_new_date(static_cast<std::int32_t>(sec), static_cast<std::int32_t>(rest * 1000));
        }
        case Value::Kind::Array: {
            plist_t array = plist_new_array();
            for (const Value& v : value.arrayValue())
                if (plist_t child = toNode(v)) plist_array_append_item(array, child);
            return array;
        }
        case Value::Kind::Dictionary: {
            const Dictionary& d = value.dictionaryValue();
            if (d.size() == 1 && d.begin()->first == "CF$UID" && d.begin()->second.kind() == Value::Kind::Integer)
                return plist_new_uid(static_cast<std::uint64_t>(d.begin()->second.integerValue()));
            plist_t dict = plist_new_dict();
            for (const auto& [k, v] : d)
                if (plist_t child = toNode(v)) plist_dict_set_item(dict, k.c_str(), child);
            return dict;
        }
        default: return nullptr;
    }
}

}  // namespace

std::optional<Value> parse(const Data& bytes) {
    if (bytes.empty() || bytes.size() > UINT32_MAX || !nestingWithin(bytes.data(), bytes.size(), kMaximumNesting))
        return std::nullopt;
    NodeOwner root{
        libplist::fromMemory(reinterpret_cast<const char*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()))};
    if (!root.node) return std::nullopt;
    return fromNode(root.node);
}

std::optional<Value> readFile(const std::string& path) {
    auto bytes = FileManager::readRegularFile(path, kMaximumFileBytes);
    if (!bytes) return std::nullopt;
    return parse(*bytes);
}

Data serialize(const Value& value, Format format) {
    NodeOwner root{toNode(value)};
    if (!root.node) root.node = plist_new_dict();
    return format == Format::Binary ? libplist::toBinary(root.node) : libplist::toXml(root.node);
}

}  // namespace platform::plist
