#include <gtest/gtest.h>

#include "platform/desktop/LockGuard.h"
#include "platform/foundation/libplist/Libplist.h"
#include "platform/desktop/guard/PasswordDigest.h"
#include "platform/desktop/guard/Protocol.h"
#include "platform/foundation/LogSink.h"
#include "platform/foundation/PreferencesDomain.h"
#include "shared/PreferencesContract.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <plist/plist.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace platform::desktop;
using namespace platform::desktop::guard;

namespace {

struct SocketPair {
    int application = -1, guard = -1;
    SocketPair() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) {
            application = fds[0];
            guard = fds[1];
        }
    }
    ~SocketPair() {
        closeApplicationEnd();
        close(guard);
    }
    void closeApplicationEnd() {
        if (application >= 0) close(application);
        application = -1;
    }
    void sendRaw(const std::vector<std::uint32_t>& words) const {
        ASSERT_EQ(write(application, words.data(), words.size() * 4), static_cast<ssize_t>(words.size() * 4));
    }
};

GammaRamp rampOf(unsigned long crtc, std::size_t size) {
    GammaRamp ramp;
    ramp.crtc = crtc;
    for (std::size_t i = 0; i < size; ++i) {
        ramp.red.push_back(static_cast<std::uint16_t>(i * 3));
        ramp.green.push_back(static_cast<std::uint16_t>(65535 - i));
        ramp.blue.push_back(static_cast<std::uint16_t>(i * 7 + crtc));
    }
    return ramp;
}

bool sameRamps(const std::vector<GammaRamp>& a, const std::vector<GammaRamp>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].crtc != b[i].crtc || a[i].red != b[i].red || a[i].green != b[i].green || a[i].blue != b[i].blue)
            return false;
    return true;
}

}  // namespace

// ---- the messages between the application and its guard ------------------

TEST(LockGuardProtocol, EveryMessageArrivesAsItWasSentInOrder) {
    const std::vector<Message> sent = {
        {MessageKind::RememberRamps, {rampOf(63, 256), rampOf(64, 1024)}, {}},
        {MessageKind::LockEngaged, {}, {}},
        {MessageKind::Attempts, {}, {2, 0}},
        {MessageKind::Heartbeat, {}, {}},
        {MessageKind::ForgetRamps, {}, {}},
        {MessageKind::RememberRamps, {}, {}},
        {MessageKind::Attempts, {}, {3, 65500}},
        {MessageKind::LockReleased, {}, {}},
    };
    SocketPair channel;
    for (const Message& message : sent) ASSERT_TRUE(writeMessage(channel.application, message));
    channel.closeApplicationEnd();
    for (const Message& expected : sent) {
        const std::optional<Message> received = readMessage(channel.guard);
        ASSERT_TRUE(received.has_value());
        EXPECT_EQ(received->kind, expected.kind);
        EXPECT_TRUE(sameRamps(received->ramps, expected.ramps));
        EXPECT_EQ(received->attempts.wrong, expected.attempts.wrong);
        EXPECT_EQ(received->attempts.waitMilliseconds, expected.attempts.waitMilliseconds);
    }
    EXPECT_FALSE(readMessage(channel.guard).has_value()) << "the end of the stream is no message";
}

TEST(LockGuardProtocol, WhatIsNotAMessageCountsAsTheEndOfTheApplication) {
    const struct {
        const char* what;
        std::vector<std::uint32_t> words;
    } streams[] = {
        {"an unknown kind", {0, 0}},
        {"a kind beyond the last", {7, 0}},
        {"more wrong passwords than the lock screen counts", {6, 4, 0}},
        {"wrong passwords without their wait", {6, 1}},
        {"ramps after a heartbeat", {5, 1, 63, 1, 0, 0, 0}},
        {"more ramps than any machine has", {1, 65}},
        {"a ramp longer than any CRTC's", {1, 1, 63, 65537}},
        {"a ramp cut short", {1, 1, 63, 4, 0, 0}},
        {"half a header", {3}},
    };
    for (const auto& stream : streams) {
        SocketPair channel;
        channel.sendRaw(stream.words);
        channel.closeApplicationEnd();
        EXPECT_FALSE(readMessage(channel.guard).has_value()) << stream.what;
    }
}

TEST(LockGuardProtocol, AMalformedRampIsRefusedWithoutWritingHalfAMessage) {
    GammaRamp uneven = rampOf(63, 256);
    uneven.blue.pop_back();
    SocketPair channel;
    EXPECT_FALSE(writeMessage(channel.application, {MessageKind::RememberRamps, {rampOf(62, 256), uneven}, {}}));
    ASSERT_TRUE(writeMessage(channel.application, {MessageKind::LockEngaged, {}, {}}));
    const std::optional<Message> next = readMessage(channel.guard);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->kind, MessageKind::LockEngaged);
}

// ---- the application's side ----------------------------------------------

TEST(LockGuard, WithoutItsExecutableTheApplicationGoesOnAndSaysSo) {
    std::vector<std::string> lines;
    platform::LogSink::setCapture([&lines](const std::string& line) { lines.push_back(line); });
    LockGuard guard(":99", "/nonexistent/tarnwick-guard");
    guard.lockEngaged();
    guard.heartbeat();
    platform::LogSink::setCapture(nullptr);
    EXPECT_FALSE(guard.isRunning());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Tarnwick: "), std::string::npos);
    EXPECT_NE(lines[0].find("/nonexistent/tarnwick-guard"), std::string::npos);
}

// ---- the password's digest ------------------------------------------------

class PasswordDigestTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarnwick-guard-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string file(const std::string& name, const std::string& contents) const {
        const std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }
    static std::string xmlPlist(const std::string& passwordEntry, const std::string& key = "password") {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
               "\t<key>lockOnStartup</key>\n\t<true/>\n\t<key>" +
               key + "</key>\n\t" + passwordEntry + "\n</dict>\n</plist>\n";
    }
    static std::string repeated(const std::string& text, int times) {
        std::string result;
        for (int i = 0; i < times; ++i) result += text;
        return result;
    }
    static std::string binaryPlist(const std::string& password) {
        plist_t root = plist_new_dict();
        plist_dict_set_item(root, "password", plist_new_string(password.c_str()));
        const std::vector<std::uint8_t> bytes = platform::plist::libplist::toBinary(root);
        std::string result(bytes.begin(), bytes.end());
        plist_free(root);
        return result;
    }

    const std::string digest = "900150983cd24fb0d6963f7d28e17f72";  // MD5 of "abc" (RFC 1321)
    std::string folder;
};

TEST_F(PasswordDigestTest, OnlyA32DigitHexStringIsADigest) {
    const struct {
        const char* what;
        std::string contents;
        bool accepted;
    } cases[] = {
        {"an XML property list", xmlPlist("<string>" + digest + "</string>"), true},
        {"a binary property list", binaryPlist(digest), true},
        {"a number", xmlPlist("<integer>42</integer>"), false},
        {"data", xmlPlist("<data>kAFQmDzSQLDWlj99KOF/cg==</data>"), false},
        {"31 digits", xmlPlist("<string>" + digest.substr(1) + "</string>"), false},
        {"33 digits", xmlPlist("<string>" + digest + "0</string>"), false},
        {"upper-case digits", xmlPlist("<string>900150983CD24FB0D6963F7D28E17F72</string>"), true},
        {"not hexadecimal", xmlPlist("<string>900150983cd24fb0d6963f7d28e17f7g</string>"), false},
        {"an empty string", xmlPlist("<string></string>"), false},
        {"no password entry", xmlPlist("<string>" + digest + "</string>", "passwords"), false},
        {"an array at the top",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>" + digest + "</string></array></plist>", false},
        {"no property list at all", "password = " + digest + "\n", false},
        {"an empty file", "", false},
        {"nested past what the parser can take",
         xmlPlist("<string>" + digest + "</string><key>padding</key>" + repeated("<array>", 65000) +
                  repeated("</array>", 65000)),
         false},
    };
    for (const auto& c : cases) {
        const std::optional<std::string> read = readPasswordDigest(file("prefs.plist", c.contents));
        EXPECT_EQ(read, c.accepted ? std::optional<std::string>(digest) : std::nullopt) << c.what;
    }
}

// After a crash the guard must find the password the application checked,
// in any file the application reads, and refuse what the application refuses.
TEST_F(PasswordDigestTest, TheGuardReadsExactlyTheFilesTheApplicationReads) {
    const auto padded = [this](std::size_t bytes) {
        return xmlPlist("<string>" + digest + "</string>\n<key>padding</key><string>" + std::string(bytes, 'x') +
                        "</string>");
    };
    const auto nested = [this](int levels) {
        return xmlPlist("<string>" + digest + "</string>\n<key>padding</key>" + repeated("<array>", levels) +
                        repeated("</array>", levels));
    };
    const struct {
        const char* what;
        std::string contents;
        bool read;
    } cases[] = {
        {"2 MiB", padded(std::size_t{2} << 20), true},
        {"just under the size limit", padded(preferences_contract::kLargestFileBytes - 4096), true},
        {"just over the size limit", padded(preferences_contract::kLargestFileBytes), false},
        {"nested to the limit", nested(preferences_contract::kDeepestNesting - 1), true},
        {"nested one level deeper", nested(preferences_contract::kDeepestNesting), false},
    };
    for (const auto& c : cases) {
        const std::string path = file("prefs.plist", c.contents);
        const platform::Value byApplication = platform::PreferencesDomain(kBundleName, path).get("password");
        EXPECT_EQ(byApplication.isString() && byApplication.stringValue() == digest, c.read) << c.what;
        EXPECT_EQ(readPasswordDigest(path), c.read ? std::optional<std::string>(digest) : std::nullopt) << c.what;
    }
}

TEST_F(PasswordDigestTest, OnlyARegularFileIsRead) {
    const std::string real = file("real.plist", xmlPlist("<string>" + digest + "</string>"));
    ASSERT_TRUE(readPasswordDigest(real).has_value());
    // A link to it is what the application reads too (a settings folder kept elsewhere).
    const std::string link = folder + "/link.plist";
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    EXPECT_TRUE(readPasswordDigest(link).has_value());
    const std::string fifo = folder + "/fifo.plist";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string directory = folder + "/directory.plist";
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
    for (const std::string& path : {fifo, directory, folder + "/missing.plist"})
        EXPECT_FALSE(readPasswordDigest(path).has_value()) << path;  // a FIFO must not block either
}

TEST_F(PasswordDigestTest, APasswordMatchesTheDigestOfItsBytesOnly) {
    // Test vectors of RFC 1321.
    EXPECT_TRUE(passwordMatches("abc", digest));
    EXPECT_TRUE(passwordMatches("message digest", "f96b697d7cb7938d525a2f31aaf161d0"));
    EXPECT_FALSE(passwordMatches("abd", digest));
    EXPECT_FALSE(passwordMatches("abc ", digest));
    EXPECT_FALSE(passwordMatches("abc", "900150983CD24FB0D6963F7D28E17F72"));
    EXPECT_FALSE(passwordMatches("abc", digest.substr(0, 31)));
}
