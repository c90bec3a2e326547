#include "bluetooth/BluetoothTestSupport.h"
#include "platform/foundation/BluetoothDevice.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/PropertyList.h"
#include "platform/headless/HeadlessEnvironment.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

BluetoothDeviceRef phone() { return std::make_shared<BluetoothDevice>(bluetooth_test::kPhoneAddress, "Phone"); }

Value uid(long long index) { return Value(Dictionary{{"CF$UID", Value(index)}}); }

Data archiveData(const Value& archive) { return plist::serialize(archive, plist::Format::Binary); }

// An archive whose root is object 1 with the given objects after "$null".
Value archiveWithObjects(Array objects) {
    objects.insert(objects.begin(), Value("$null"));
    return Value(Dictionary{{"$archiver", Value("NSKeyedArchiver")},
                            {"$version", Value(100000)},
                            {"$top", Value(Dictionary{{"root", uid(1)}})},
                            {"$objects", Value(std::move(objects))}});
}

Value deviceClass() {
    return Value(Dictionary{{"$classname", Value("IOBluetoothDevice")},
                            {"$classes", Value(Array{Value("IOBluetoothDevice"), Value("NSObject")})}});
}

TEST(KeyedArchiveTest, DeviceSurvivesTheRoundTrip) {
    const Data data = KeyedArchiver::archivedDataWithRootObject(phone());
    ASSERT_FALSE(data.empty());
    auto device = std::dynamic_pointer_cast<BluetoothDevice>(KeyedUnarchiver::unarchiveObjectWithData(data));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->getName(), "Phone");
    EXPECT_EQ(device->getAddressString(), bluetooth_test::kPhoneAddress);
}

TEST(KeyedArchiveTest, ArchiveHasTheKeyedArchiveLayout) {
    auto archive = plist::parse(KeyedArchiver::archivedDataWithRootObject(phone()));
    ASSERT_TRUE(archive);
    EXPECT_EQ((*archive)["$archiver"].stringValue(), "NSKeyedArchiver");
    EXPECT_EQ((*archive)["$version"].integerValue(), 100000);
    const Value& root = (*archive)["$top"]["root"];
    ASSERT_TRUE(root.hasKey("CF$UID"));
    const Array& objects = (*archive)["$objects"].arrayValue();
    ASSERT_GE(objects.size(), 3u);
    EXPECT_EQ(objects[0].stringValue(), "$null");

    const Value& device = objects.at(static_cast<std::size_t>(root["CF$UID"].integerValue()));
    const Value& description = objects.at(static_cast<std::size_t>(device["$class"]["CF$UID"].integerValue()));
    EXPECT_EQ(description["$classname"].stringValue(), "IOBluetoothDevice");
    EXPECT_EQ(description["$classes"].arrayValue().front().stringValue(), "IOBluetoothDevice");
    // Texts are objects of their own, referred to by UID.
    const Value& name = objects.at(static_cast<std::size_t>(device["name"]["CF$UID"].integerValue()));
    EXPECT_EQ(name.stringValue(), "Phone");
}

TEST(KeyedArchiveTest, XmlArchiveWithInlineFieldsIsRead) {
    const Value archive = archiveWithObjects(
        {Value(Dictionary{{"address", Value("11:22:33:44:55:66")}, {"name", Value("Watch")}, {"$class", uid(2)}}),
         deviceClass()});
    auto device = std::dynamic_pointer_cast<BluetoothDevice>(
        KeyedUnarchiver::unarchiveObjectWithData(plist::serialize(archive, plist::Format::Xml)));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->getName(), "Watch");
}

TEST(KeyedArchiveTest, CorruptOrForeignDataReadsAsNothing) {
    const Data good = KeyedArchiver::archivedDataWithRootObject(phone());
    const Data truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    const std::vector<std::pair<const char*, Data>> cases = {
        {"empty", Data{}},
        {"noise", Data{0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xff, 0x13, 0x00}},
        {"truncated", truncated},
        {"plain property list", archiveData(Value(Dictionary{{"name", Value("Phone")}}))},
        {"other archiver", archiveData(Value(Dictionary{{"$archiver", Value("Other")}}))},
        {"root out of range", archiveData(archiveWithObjects({}))},
        {"unknown class",
         archiveData(archiveWithObjects(
             {Value(Dictionary{{"$class", uid(2)}}),
              Value(Dictionary{{"$classname", Value("NSWindow")}, {"$classes", Value(Array{Value("NSWindow")})}})}))},
        {"class reference out of range", archiveData(archiveWithObjects({Value(Dictionary{{"$class", uid(9)}})}))},
        {"field reference out of range",
         archiveData(archiveWithObjects({Value(Dictionary{{"address", uid(40)}, {"$class", uid(2)}}), deviceClass()}))},
        {"address of the wrong kind",
         archiveData(archiveWithObjects(
             {Value(Dictionary{{"address", uid(3)}, {"$class", uid(2)}}), deviceClass(), Value(Data{1, 2, 3})}))},
        {"device without address",
         archiveData(archiveWithObjects({Value(Dictionary{{"$class", uid(2)}}), deviceClass()}))},
        {"root is a text", archiveData(archiveWithObjects({Value("Phone")}))},
        {"cycle",
         archiveData(archiveWithObjects({Value(Dictionary{{"address", uid(3)}, {"$class", uid(2)}}), deviceClass(),
                                         Value(Dictionary{{"NS.objects", Value(Array{uid(3)})}, {"$class", uid(4)}}),
                                         Value(Dictionary{{"$classname", Value("NSArray")}})}))},
    };
    for (const auto& [label, data] : cases) EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithData(data), nullptr) << label;
}

TEST(KeyedArchiveTest, DamagedBytesNeverGiveAnythingButADeviceOrNothing) {
    const Data good = KeyedArchiver::archivedDataWithRootObject(phone());
    int readable = 0;
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (std::uint8_t replacement : {std::uint8_t{0x00}, std::uint8_t{0x7f}, std::uint8_t{0xff}}) {
            Data damaged = good;
            if (damaged[i] == replacement) continue;
            damaged[i] = replacement;
            ObjectRef object = KeyedUnarchiver::unarchiveObjectWithData(damaged);
            if (!object) continue;
            ++readable;
            EXPECT_NE(std::dynamic_pointer_cast<BluetoothDevice>(object), nullptr) << "byte " << i;
        }
    }
    // Damage to a name's text still reads; damage to the structure does not.
    EXPECT_LT(readable, static_cast<int>(good.size()) * 3);
}

// A small class with every kind of field, to check the archive's general values.
class Bookmark : public Object {
public:
    Dictionary fields;
    ObjectRef other;
};

TEST(KeyedArchiveTest, RegisteredClassesKeepEveryKindOfValueAndSharedObjects) {
    registerKeyedCoder(KeyedCoder{
        "TWBookmark",
        [](const Object& o) { return dynamic_cast<const Bookmark*>(&o) != nullptr; },
        [](const Object& o) {
            const auto& b = static_cast<const Bookmark&>(o);
            Dictionary d = b.fields;
            if (b.other) d["other"] = Value(b.other);
            return d;
        },
        [](const Dictionary& d) -> ObjectRef {
            auto b = std::make_shared<Bookmark>();
            b->fields = d;
            if (auto it = d.find("other"); it != d.end()) b->other = it->second.objectValue();
            b->fields.erase("other");
            return b;
        },
    });
    auto device = phone();
    auto bookmark = std::make_shared<Bookmark>();
    bookmark->fields = {
        {"flag", Value(true)},
        {"count", Value(-42)},
        {"ratio", Value(37.6)},
        {"title", Value("Desk")},
        {"bytes", Value(Data{0, 1, 2})},
        {"when", Value(Date::fromMilliseconds(1262401445123))},
        {"list", Value(Array{Value("a"), Value(1), Value(Array{})})},
        {"map", Value(Dictionary{{"k", Value("v")}})},
        {"first", Value(device)},
        {"second", Value(device)},
    };
    auto decoded = std::dynamic_pointer_cast<Bookmark>(
        KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(bookmark)));
    ASSERT_NE(decoded, nullptr);
    for (const char* key : {"flag", "count", "ratio", "title", "bytes", "when", "list", "map"})
        EXPECT_EQ(decoded->fields[key], bookmark->fields[key]) << key;
    auto first = decoded->fields["first"].objectAs<BluetoothDevice>();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->getAddressString(), bluetooth_test::kPhoneAddress);
    EXPECT_EQ(first, decoded->fields["second"].objectValue()) << "one object archived once stays one object";

    // An object that refers back to itself is archived once and read as corrupt, not endlessly.
    bookmark->other = bookmark;
    const Data cyclic = KeyedArchiver::archivedDataWithRootObject(bookmark);
    EXPECT_FALSE(cyclic.empty());
    EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithData(cyclic), nullptr);
    bookmark->other.reset();
}

TEST(KeyedArchiveTest, ObjectsWithoutCoderAreNotArchived) {
    EXPECT_TRUE(KeyedArchiver::archivedDataWithRootObject(std::make_shared<Object>()).empty());
    EXPECT_TRUE(KeyedArchiver::archivedDataWithRootObject(nullptr).empty());
}

TEST(KeyedArchiveTest, DeviceStoredInTheDefaultsReadsBackThroughTheAppPreferences) {
    headless::HeadlessEnvironment env;
    bluetooth_test::storeDevice(phone());
    const Value stored = preferences::copyAppValue("bluetoothDevice", "com.quillmere.Tarnwick");
    ASSERT_TRUE(stored.isData());
    auto device =
        std::dynamic_pointer_cast<BluetoothDevice>(KeyedUnarchiver::unarchiveObjectWithData(stored.dataValue()));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->getName(), "Phone");
}

}  // namespace
