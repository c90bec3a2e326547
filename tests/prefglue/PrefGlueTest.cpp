#include "prefglue/PrefGlue.h"

#include "platform/foundation/BluetoothDevice.h"
#include "platform/foundation/Defaults.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/Task.h"
#include "platform/headless/HeadlessEnvironment.h"

#include <gtest/gtest.h>

namespace {

using platform::Array;
using platform::Data;
using platform::Value;
namespace preferences = platform::preferences;

const std::string kApp = "com.quillmere.Tarnwick";

class PreferenceReaders : public ::testing::Test {
protected:
    static void store(const std::string& key, const Value& value) {
        preferences::setAppValue(key, value, kApp);
        ASSERT_TRUE(preferences::appSynchronize(kApp));
    }

    platform::headless::HeadlessEnvironment env;
};

const Array kDefaultArray{Value("default")};

TEST_F(PreferenceReaders, MissingKeysGiveTheDefaults) {
    EXPECT_EQ(PreferencesObjectValue("none", nullptr, kApp), nullptr);
    EXPECT_EQ(PreferencesArrayValue("none", kDefaultArray, kApp), kDefaultArray);
    EXPECT_EQ(PreferencesStringValue("none", "fallback", kApp), "fallback");
    EXPECT_EQ(PreferencesFloatValue("none", 2.5f, kApp), 2.5f);
    EXPECT_EQ(PreferencesIntegerValue("none", -9, kApp), -9);
    EXPECT_TRUE(PreferencesBoolValue("none", true, kApp));
    EXPECT_FALSE(PreferencesBoolValue("none", false, "com.example.NoSuchDomain"));
}

TEST_F(PreferenceReaders, BooleansAreNoNumbersAndNumbersNoBooleans) {
    store("flag", Value(true));
    store("one", Value(1));
    EXPECT_TRUE(PreferencesBoolValue("flag", false, kApp));
    EXPECT_EQ(PreferencesIntegerValue("flag", 7, kApp), 7);
    EXPECT_EQ(PreferencesFloatValue("flag", 7.5f, kApp), 7.5f);
    EXPECT_FALSE(PreferencesBoolValue("one", false, kApp));
    EXPECT_EQ(PreferencesIntegerValue("one", 7, kApp), 1);
    EXPECT_EQ(PreferencesFloatValue("one", 7.5f, kApp), 1.0f);
    store("off", Value(false));
    EXPECT_FALSE(PreferencesBoolValue("off", true, kApp));
}

TEST_F(PreferenceReaders, RealsAreTruncatedTowardZeroByTheIntegerReader) {
    store("bluetoothTimeout", Value(37.6));
    EXPECT_EQ(PreferencesIntegerValue("bluetoothTimeout", 0, kApp), 37);
    EXPECT_FLOAT_EQ(PreferencesFloatValue("bluetoothTimeout", 0, kApp), 37.6f);
    store("negative", Value(-37.6));
    EXPECT_EQ(PreferencesIntegerValue("negative", 0, kApp), -37);
    store("large", Value(1LL << 40));
    EXPECT_EQ(PreferencesIntegerValue("large", 0, kApp), 1LL << 40);
}

TEST_F(PreferenceReaders, EachReaderAcceptsOnlyItsOwnType) {
    store("text", Value("12"));
    store("list", Value(Array{Value(1), Value("two")}));
    store("bytes", Value(Data{1, 2, 3}));

    EXPECT_EQ(PreferencesStringValue("text", "d", kApp), "12");
    EXPECT_EQ(PreferencesArrayValue("text", kDefaultArray, kApp), kDefaultArray);
    EXPECT_EQ(PreferencesIntegerValue("text", 5, kApp), 5);
    EXPECT_EQ(PreferencesFloatValue("text", 5.5f, kApp), 5.5f);
    EXPECT_TRUE(PreferencesBoolValue("text", true, kApp));
    EXPECT_EQ(PreferencesObjectValue("text", nullptr, kApp), nullptr);

    EXPECT_EQ(PreferencesArrayValue("list", kDefaultArray, kApp), (Array{Value(1), Value("two")}));
    EXPECT_EQ(PreferencesStringValue("list", "d", kApp), "d");
    EXPECT_EQ(PreferencesIntegerValue("list", 5, kApp), 5);

    EXPECT_EQ(PreferencesStringValue("bytes", "d", kApp), "d");
    EXPECT_EQ(PreferencesArrayValue("bytes", kDefaultArray, kApp), kDefaultArray);
}

TEST_F(PreferenceReaders, ObjectReaderUnarchivesTheStoredDataOrElseTheDefault) {
    auto device = std::make_shared<platform::BluetoothDevice>("00:1A:7D:DA:71:13", "Phone");
    const Data archived = platform::KeyedArchiver::archivedDataWithRootObject(device);
    ASSERT_FALSE(archived.empty());
    store("bluetoothDevice", Value(archived));

    auto read =
        std::dynamic_pointer_cast<platform::BluetoothDevice>(PreferencesObjectValue("bluetoothDevice", nullptr, kApp));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->getAddressString(), "00:1A:7D:DA:71:13");
    EXPECT_EQ(read->getName(), "Phone");

    auto fallback =
        std::dynamic_pointer_cast<platform::BluetoothDevice>(PreferencesObjectValue("missing", &archived, kApp));
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->getAddressString(), "00:1A:7D:DA:71:13");

    // A value of another type falls back to the default data as well.
    store("notData", Value("text"));
    EXPECT_TRUE(PreferencesObjectValue("notData", &archived, kApp));

    // Data that is no keyed archive reads as nothing.
    store("garbage", Value(Data{'n', 'o', 'p', 'e'}));
    EXPECT_EQ(PreferencesObjectValue("garbage", nullptr, kApp), nullptr);
}

TEST_F(PreferenceReaders, EveryCallReadsTheCurrentValue) {
    store("penalty", Value(2));
    EXPECT_EQ(PreferencesIntegerValue("penalty", 0, kApp), 2);
    // Set but not yet synchronized: the next read in this process sees it.
    preferences::setAppValue("penalty", Value(3), kApp);
    EXPECT_EQ(PreferencesIntegerValue("penalty", 0, kApp), 3);
    preferences::setAppValue("penalty", Value(), kApp);
    EXPECT_EQ(PreferencesIntegerValue("penalty", 0, kApp), 0);
}

TEST_F(PreferenceReaders, RegisteredDefaultsOfTheApplicationAreInvisible) {
    platform::Defaults::standard().registerDefaults({{"penalty", Value(1)}, {"fadingEnabled", Value(true)}});
    EXPECT_EQ(PreferencesIntegerValue("penalty", 9, kApp), 9);
    EXPECT_FALSE(PreferencesBoolValue("fadingEnabled", false, kApp));
}

TEST_F(PreferenceReaders, ValueWrittenByAnotherProcessIsRead) {
    auto write = [](const std::string& key, const std::string& kind, const std::string& text) {
        platform::Task writer(PREFGLUE_TEST_WRITER, {kApp, key, kind, text});
        ASSERT_TRUE(writer.launch());
        ASSERT_EQ(writer.waitUntilExit(), 0);
    };
    write("bluetoothTimeout", "real", "37.6");
    write("lockOnSleepComputer", "bool", "true");
    write("saveImagesPath", "string", "/tmp/photos");
    EXPECT_EQ(PreferencesIntegerValue("bluetoothTimeout", 0, kApp), 37);
    EXPECT_TRUE(PreferencesBoolValue("lockOnSleepComputer", false, kApp));
    EXPECT_EQ(PreferencesStringValue("saveImagesPath", "", kApp), "/tmp/photos");

    for (int i = 0; i < 5; ++i) {
        write("penalty", "integer", std::to_string(i));
        EXPECT_EQ(PreferencesIntegerValue("penalty", -1, kApp), i);
    }
}

}  // namespace
