#include "platform/foundation/Date.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Value.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

namespace {

using platform::Array;
using platform::Data;
using platform::Date;
using platform::Dictionary;
using platform::Value;
namespace plist = platform::plist;

Value roundTrip(const Value& value, plist::Format format) {
    const auto parsed = plist::parse(plist::serialize(value, format));
    EXPECT_TRUE(parsed.has_value());
    return parsed.value_or(Value());
}

Value sample() {
    return Value(Dictionary{
        {"yes", Value(true)},
        {"no", Value(false)},
        {"zero", Value(0)},
        {"negative", Value(-42)},
        {"mostNegative", Value(std::numeric_limits<long long>::min())},
        {"large", Value(std::numeric_limits<long long>::max())},
        {"real", Value(37.6)},
        {"negativeReal", Value(-0.25)},
        {"text", Value("pässwörd € 日本 %@ %d")},
        {"empty", Value("")},
        {"data", Value(Data{0, 1, 2, 255, 128})},
        {"emptyData", Value(Data{})},
        // Whole seconds, which both formats keep.
        {"date", Value(Date::fromMilliseconds(1262401445000))},
        {"before2001", Value(Date::fromMilliseconds(123456000))},
        {"beforeEpoch", Value(Date::fromMilliseconds(-86401000))},
        {"nested", Value(Dictionary{{"list", Value(Array{Value(1), Value("two"), Value(Array{}),
                                                         Value(Dictionary{{"deep", Value(-3)}})})},
                                    {"emptyDictionary", Value(Dictionary{})}})},
    });
}

TEST(PropertyList, EveryKindSurvivesXmlAndBinaryRoundTrips) {
    const Value original = sample();
    for (auto format : {plist::Format::Xml, plist::Format::Binary}) {
        const Value back = roundTrip(original, format);
        for (const auto& [key, value] : original.dictionaryValue()) {
            EXPECT_EQ(back[key], value) << key << " in format " << static_cast<int>(format);
            EXPECT_EQ(back[key].kind(), value.kind()) << key << " in format " << static_cast<int>(format);
        }
        EXPECT_EQ(back, original);
    }
}

TEST(PropertyList, BooleansAndNumbersStayDistinct) {
    const Value back = roundTrip(Value(Array{Value(true), Value(1), Value(1.0)}), plist::Format::Xml);
    ASSERT_EQ(back.arrayValue().size(), 3u);
    EXPECT_TRUE(back.arrayValue()[0].isBoolean());
    EXPECT_EQ(back.arrayValue()[1].kind(), Value::Kind::Integer);
    EXPECT_EQ(back.arrayValue()[2].kind(), Value::Kind::Real);
}

TEST(PropertyList, BinaryDatesKeepTheirMillisecondXmlDatesTheirSecond) {
    for (std::int64_t ms : {0LL, 1LL, 999LL, 978307200000LL, 978307199999LL, 978307200001LL, 1262401445001LL,
                            1262401445999LL, 1262401445123LL, -1LL, -1500LL, -86400001LL}) {
        const Value binary = roundTrip(Value(Date::fromMilliseconds(ms)), plist::Format::Binary);
        EXPECT_EQ(binary.dateValue().millisecondsSinceEpoch(), ms);
        const std::int64_t xml =
            roundTrip(Value(Date::fromMilliseconds(ms)), plist::Format::Xml).dateValue().millisecondsSinceEpoch();
        EXPECT_EQ(xml % 1000, 0) << ms;
        EXPECT_LT(std::abs(xml - ms), 1000) << ms;
    }
}

TEST(PropertyList, BytesThatAreNoPropertyListParseToNothing) {
    EXPECT_FALSE(plist::parse(Data{'n', 'o', 't', ' ', 'a', ' ', 'p', 'l', 'i', 's', 't'}).has_value());
    EXPECT_FALSE(plist::parse(Data{}).has_value());
}

TEST(PropertyList, NestingPastTheLimitIsRefusedWithoutOverflowingTheStack) {
    auto nestedXml = [](int levels) {
        std::string text = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
        for (int i = 0; i < levels; ++i) text += "<array>";
        text += "<array/>";
        for (int i = 0; i < levels; ++i) text += "</array>";
        return Data(text.begin(), text.end());
    };
    auto nestedValue = [](int levels) {
        Value value{Array{}};
        for (int i = 1; i < levels; ++i) value = Value(Array{value});
        return value;
    };
    EXPECT_TRUE(plist::parse(nestedXml(500)).has_value());
    EXPECT_FALSE(plist::parse(nestedXml(100000)).has_value());
    EXPECT_TRUE(plist::parse(plist::serialize(nestedValue(500), plist::Format::Binary)).has_value());
    EXPECT_FALSE(plist::parse(plist::serialize(nestedValue(2000), plist::Format::Binary)).has_value());
}

TEST(ValueConversions, BoolValueIsTrueOnlyForYes) {
    EXPECT_TRUE(Value(true).boolValue());
    EXPECT_FALSE(Value(false).boolValue());
    EXPECT_FALSE(Value().boolValue());
    EXPECT_FALSE(Value(Array{}).boolValue());
    EXPECT_FALSE(Value(2).boolValue());
}

TEST(ValueConversions, IntegerValueTruncatesTowardZeroAndShortValueKeepsTheLowBits) {
    EXPECT_EQ(Value(37.6).integerValue(), 37);
    EXPECT_EQ(Value(-37.6).integerValue(), -37);
    EXPECT_EQ(Value(0x10006).shortValue(), 6);
    EXPECT_EQ(Value(-1).shortValue(), -1);
    EXPECT_FLOAT_EQ(Value(37.6).floatValue(), 37.6f);
}

TEST(DateFormat, CalendarFormatWithMilliseconds) {
    const Date date = Date::fromLocalComponents(2010, 1, 2, 3, 4, 5, 67);
    EXPECT_EQ(date.format("%Y%m%d%H%M%S%F"), "20100102030405067");
    EXPECT_EQ(Date::fromMilliseconds(date.millisecondsSinceEpoch()), date);
}

}  // namespace
