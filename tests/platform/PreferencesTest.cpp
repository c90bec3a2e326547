#include "platform/foundation/Defaults.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/PreferencesDomain.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Task.h"
#include "platform/headless/HeadlessEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using platform::Defaults;
using platform::Dictionary;
using platform::Value;
namespace paths = platform::paths;
namespace preferences = platform::preferences;

const char* const kDomain = "com.quillmere.Tarnwick";

class PreferencesTest : public ::testing::Test {
protected:
    static std::string domainFile() { return platform::PreferencesDomain::pathForIdentifier(kDomain); }

    static Dictionary fileContents() {
        const auto value = platform::plist::readFile(domainFile());
        return value && value->isDictionary() ? value->dictionaryValue() : Dictionary{};
    }

    static std::string rawBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Another process replaces the file, as a second program storing its settings would.
    static void writeFromAnotherProcess(const Dictionary& values) {
        platform::FileManager::createDirectory(paths::preferencesDirectory());
        const auto bytes = platform::plist::serialize(Value(values));
        const std::string staged = domainFile() + ".staged";
        std::ofstream(staged, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        platform::Task move("/bin/mv", {staged, domainFile()});
        ASSERT_TRUE(move.launch());
        ASSERT_EQ(move.waitUntilExit(), 0);
    }

    std::vector<std::string> filesAside() const {
        std::vector<std::string> names;
        for (const auto& name : platform::FileManager::contentsOfDirectory(paths::preferencesDirectory()))
            if (name.find(".unreadable-") != std::string::npos) names.push_back(name);
        return names;
    }

    platform::headless::HeadlessEnvironment env;
};

TEST_F(PreferencesTest, RegisteredDefaultsAreAnsweredButNeverWritten) {
    Defaults& defaults = Defaults::standard();
    defaults.registerDefaults({{"penalty", Value(1)}, {"fadingEnabled", Value(true)}});
    EXPECT_EQ(defaults.integerForKey("penalty"), 1);
    defaults.setObject(Value(5), "inputPause");
    defaults.synchronize();
    const Dictionary stored = fileContents();
    EXPECT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored.at("inputPause"), Value(5));
    // Nor do other processes see them.
    EXPECT_TRUE(preferences::copyAppValue("penalty", kDomain).isNull());
}

TEST_F(PreferencesTest, StoredValueHidesTheRegisteredDefault) {
    Defaults& defaults = Defaults::standard();
    defaults.registerDefaults({{"penalty", Value(1)}});
    defaults.setObject(Value(3), "penalty");
    EXPECT_EQ(defaults.integerForKey("penalty"), 3);
    defaults.removeObject("penalty");
    EXPECT_EQ(defaults.integerForKey("penalty"), 1);
}

TEST_F(PreferencesTest, FileIsWrittenWithModeSixHundred) {
    Defaults::standard().setObject(Value("x"), "key");
    struct stat st;
    ASSERT_EQ(::stat(domainFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(PreferencesTest, AnotherProcesssWriteIsSeenAfterSynchronize) {
    Defaults& defaults = Defaults::standard();
    defaults.setObject(Value(1), "mine");
    for (int round = 0; round < 20; ++round) {
        writeFromAnotherProcess({{"mine", Value(1)}, {"theirs", Value(round)}});
        defaults.synchronize();
        ASSERT_EQ(defaults.integerForKey("theirs"), round) << "round " << round;
        ASSERT_EQ(preferences::copyAppValue("theirs", kDomain).integerValue(), round) << "round " << round;
    }
}

TEST_F(PreferencesTest, PendingValuesAreSeenAtOnceAndMergedWithAnotherProcesssKeys) {
    preferences::setAppValue("fromPane", Value(true), kDomain);
    EXPECT_EQ(preferences::copyAppValue("fromPane", kDomain), Value(true));
    writeFromAnotherProcess({{"fromApplication", Value("kept")}});
    ASSERT_TRUE(preferences::appSynchronize(kDomain));
    const Dictionary stored = fileContents();
    EXPECT_EQ(stored.at("fromPane"), Value(true));
    EXPECT_EQ(stored.at("fromApplication"), Value("kept"));
}

TEST_F(PreferencesTest, CorruptFileIsKeptAsideWithItsBytesBeforeTheNextWrite) {
    platform::FileManager::createDirectory(paths::preferencesDirectory());
    const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>half";
    std::ofstream(domainFile(), std::ios::binary) << garbage;

    EXPECT_TRUE(preferences::copyAppValue("half", kDomain).isNull());
    Defaults::standard().setObject(Value(2), "penalty");

    EXPECT_EQ(fileContents().at("penalty"), Value(2));
    const auto aside = filesAside();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(rawBytes(paths::appendComponent(paths::preferencesDirectory(), aside.front())), garbage);
}

TEST_F(PreferencesTest, SecondCorruptionInTheSameMillisecondKeepsBothCopies) {
    platform::FileManager::createDirectory(paths::preferencesDirectory());
    std::ofstream(domainFile(), std::ios::binary) << "first garbage";
    Defaults::standard().setObject(Value(1), "a");
    std::ofstream(domainFile(), std::ios::binary) << "second garbage";
    Defaults::standard().setObject(Value(2), "b");

    const auto aside = filesAside();
    ASSERT_EQ(aside.size(), 2u);
    std::vector<std::string> contents;
    for (const auto& name : aside)
        contents.push_back(rawBytes(paths::appendComponent(paths::preferencesDirectory(), name)));
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"first garbage", "second garbage"}));
}

TEST_F(PreferencesTest, FilesThatAreNoSettingsAreRefusedWithoutBlockingOrReadingForever) {
    platform::FileManager::createDirectory(paths::preferencesDirectory());
    const std::string big = paths::appendComponent(paths::preferencesDirectory(), "big.plist");
    std::ofstream(big, std::ios::binary) << std::string(17u << 20, ' ');
    const std::string fifo = paths::appendComponent(paths::preferencesDirectory(), "fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& target : {std::string("/dev/zero"), fifo, big}) {
        std::remove(domainFile().c_str());
        ASSERT_EQ(::symlink(target.c_str(), domainFile().c_str()), 0);
        Defaults::standard().synchronize();
        EXPECT_TRUE(preferences::copyAppValue("penalty", kDomain).isNull()) << target;
    }
    // Refused like a corrupt file: the next write keeps it aside and goes on.
    Defaults::standard().setObject(Value(3), "penalty");
    EXPECT_EQ(fileContents().at("penalty"), Value(3));
}

TEST_F(PreferencesTest, AFileStampedInTheFutureIsParsedOncePerChange) {
    writeFromAnotherProcess(Dictionary{{"penalty", Value(4)}});
    const timespec aYearAhead[2] = {{std::time(nullptr) + 365 * 86400, 0}, {std::time(nullptr) + 365 * 86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, domainFile().c_str(), aYearAhead, 0), 0);
    // A file is trusted once its change is older than the file system's clock tick.
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    auto& domain = platform::PreferencesDomain::named(kDomain);
    EXPECT_EQ(preferences::copyAppValue("penalty", kDomain), Value(4));
    const auto reads = domain.fileReads();
    for (int i = 0; i < 20; ++i) preferences::copyAppValue("penalty", kDomain);
    EXPECT_EQ(domain.fileReads(), reads);
}

}  // namespace
