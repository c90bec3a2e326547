#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/Object.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace platform {

class Value;
using Data = std::vector<std::uint8_t>;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value>;

// One property-list value: null, Boolean, integer, real, string, data, date,
// array or dictionary; user-info values may also carry an object (an image, a
// notification). Booleans and numbers are distinct kinds.
class Value {
public:
    enum class Kind { Null, Boolean, Integer, Real, String, Data, Date, Array, Dictionary, Object };

    Value() = default;
    Value(bool b) : v_(b) {}
    Value(int i) : v_(static_cast<std::int64_t>(i)) {}
    Value(long i) : v_(static_cast<std::int64_t>(i)) {}
    Value(long long i) : v_(static_cast<std::int64_t>(i)) {}
    Value(double d) : v_(d) {}
    Value(float d) : v_(static_cast<double>(d)) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(Data d) : v_(std::move(d)) {}
    Value(Date d) : v_(d) {}
    Value(Array a) : v_(std::make_shared<const Array>(std::move(a))) {}
    Value(Dictionary d) : v_(std::make_shared<const Dictionary>(std::move(d))) {}
    Value(ObjectRef o) : v_(std::move(o)) {}
    template <class T>
    requires std::is_base_of_v<Object, T> Value(std::shared_ptr<T> o)
        : v_(std::static_pointer_cast<Object>(std::move(o))) {}

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isBoolean() const { return kind() == Kind::Boolean; }
    bool isNumber() const { return kind() == Kind::Integer || kind() == Kind::Real; }
    bool isString() const { return kind() == Kind::String; }
    bool isData() const { return kind() == Kind::Data; }
    bool isDate() const { return kind() == Kind::Date; }
    bool isArray() const { return kind() == Kind::Array; }
    bool isDictionary() const { return kind() == Kind::Dictionary; }
    bool isObject() const { return kind() == Kind::Object; }

    // True only for YES: the Boolean true, the number 1, or a text that reads
    // as YES. Everything else, absence included, is NO.
    bool boolValue() const;
    // Numbers and Booleans; reals truncate toward zero; texts read their
    // leading integer; everything else 0.
    std::int64_t integerValue() const;
    std::int16_t shortValue() const { return static_cast<std::int16_t>(integerValue()); }
    double doubleValue() const;
    float floatValue() const { return static_cast<float>(doubleValue()); }

    // The text of a string value, "" for every other kind.
    const std::string& stringValue() const;
    const Data& dataValue() const;
    Date dateValue() const;
    const Array& arrayValue() const;
    const Dictionary& dictionaryValue() const;
    ObjectRef objectValue() const;
    template <class T>
    std::shared_ptr<T> objectAs() const {
        return std::dynamic_pointer_cast<T>(objectValue());
    }

    // Dictionary lookup; null for a missing key or a value that is no dictionary.
    const Value& operator[](const std::string& key) const;
    bool hasKey(const std::string& key) const;

    // isEqual: same kind and same content (integers and reals compare by value).
    bool operator==(const Value& other) const;

    std::string description() const;

private:
    std::variant<std::monostate, bool, std::int64_t, double, std::string, Data, Date, std::shared_ptr<const Array>,
                 std::shared_ptr<const Dictionary>, ObjectRef>
        v_;
};

}  // namespace platform
