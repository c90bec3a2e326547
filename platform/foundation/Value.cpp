#include "platform/foundation/Value.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace platform {

namespace {

const std::string kEmptyString;
const Data kEmptyData;
const Array kEmptyArray;
const Dictionary kEmptyDictionary;
const Value kNullValue;

bool textReadsYes(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::string rest = text.substr(i);
    if (rest == "YES" || rest == "yes" || rest == "Y" || rest == "y" || rest == "true" || rest == "TRUE") return true;
    return std::strtoll(rest.c_str(), nullptr, 10) == 1;
}

}  // namespace

bool Value::boolValue() const {
    switch (kind()) {
        case Kind::Boolean: return std::get<bool>(v_);
        case Kind::Integer: return std::get<std::int64_t>(v_) == 1;
        case Kind::Real: return std::get<double>(v_) == 1.0;
        case Kind::String: return textReadsYes(std::get<std::string>(v_));
        default: return false;
    }
}

std::int64_t Value::integerValue() const {
    switch (kind()) {
        case Kind::Boolean: return std::get<bool>(v_) ? 1 : 0;
        case Kind::Integer: return std::get<std::int64_t>(v_);
        case Kind::Real: {
            const double d = std::get<double>(v_);
            if (std::isnan(d)) return 0;
            if (d >= 9.2e18) return INT64_MAX;
            if (d <= -9.2e18) return INT64_MIN;
            return static_cast<std::int64_t>(std::trunc(d));
        }
        case Kind::String: return std::strtoll(std::get<std::string>(v_).c_str(), nullptr, 10);
        default: return 0;
    }
}

double Value::doubleValue() const {
    switch (kind()) {
        case Kind::Boolean: return std::get<bool>(v_) ? 1.0 : 0.0;
        case Kind::Integer: return static_cast<double>(std::get<std::int64_t>(v_));
        case Kind::Real: return std::get<double>(v_);
        case Kind::String: return std::strtod(std::get<std::string>(v_).c_str(), nullptr);
        default: return 0.0;
    }
}

const std::string& Value::stringValue() const {
    return kind() == Kind::String ? std::get<std::string>(v_) : kEmptyString;
}

const Data& Value::dataValue() const { return kind() == Kind::Data ? std::get<Data>(v_) : kEmptyData; }

Date Value::dateValue() const { return kind() == Kind::Date ? std::get<Date>(v_) : Date(); }

const Array& Value::arrayValue() const {
    return kind() == Kind::Array ? *std::get<std::shared_ptr<const Array>>(v_) : kEmptyArray;
}

const Dictionary& Value::dictionaryValue() const {
    return kind() == Kind::Dictionary ? *std::get<std::shared_ptr<const Dictionary>>(v_) : kEmptyDictionary;
}

ObjectRef Value::objectValue() const { return kind() == Kind::Object ? std::get<ObjectRef>(v_) : nullptr; }

const Value& Value::operator[](const std::string& key) const {
    const Dictionary& d = dictionaryValue();
    auto it = d.find(key);
    return it == d.end() ? kNullValue : it->second;
}

bool Value::hasKey(const std::string& key) const { return dictionaryValue().count(key) != 0; }

bool Value::operator==(const Value& other) const {
    if (isNumber() && other.isNumber()) {
        if (kind() == Kind::Integer && other.kind() == Kind::Integer)
            return std::get<std::int64_t>(v_) == std::get<std::int64_t>(other.v_);
        return doubleValue() == other.doubleValue();
    }
    if (kind() != other.kind()) return false;
    switch (kind()) {
        case Kind::Null: return true;
        case Kind::Boolean: return std::get<bool>(v_) == std::get<bool>(other.v_);
        case Kind::String: return stringValue() == other.stringValue();
        case Kind::Data: return dataValue() == other.dataValue();
        case Kind::Date: return dateValue() == other.dateValue();
        case Kind::Array: return arrayValue() == other.arrayValue();
        case Kind::Dictionary: return dictionaryValue() == other.dictionaryValue();
        case Kind::Object: return objectValue() == other.objectValue();
        default: return false;
    }
}

std::string Value::description() const {
    std::ostringstream out;
    switch (kind()) {
        case Kind::Null: return "(null)";
        case Kind::Boolean: return std::get<bool>(v_) ? "1" : "0";
        case Kind::Integer: return std::to_string(std::get<std::int64_t>(v_));
        case Kind::Real: out << std::get<double>(v_); return out.str();
        case Kind::String: return stringValue();
        case Kind::Data: out << "<" << dataValue().size() << " bytes>"; return out.str();
        case Kind::Date: return dateValue().format("%Y-%m-%d %H:%M:%S %z");
        case Kind::Array: {
            out << "(";
            const char* sep = "";
            for (const Value& v : arrayValue()) {
                out << sep << v.description();
                sep = ", ";
            }
            out << ")";
            return out.str();
        }
        case Kind::Dictionary: {
            out << "{";
            const char* sep = "";
            for (const auto& [k, v] : dictionaryValue()) {
                out << sep << k << " = " << v.description();
                sep = "; ";
            }
            out << "}";
            return out.str();
        }
        case Kind::Object: return objectValue() ? objectValue()->description() : "(null)";
    }
    return {};
}

}  // namespace platform
