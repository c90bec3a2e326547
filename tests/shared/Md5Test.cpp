#include "shared/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string hex(const md5_byte_t digest[16]) {
    char text[33];
    for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return std::string(text, 32);
}

std::string md5Of(const std::string& bytes) {
    md5_state_t state;
    md5_init(&state);
    md5_append(&state, reinterpret_cast<const md5_byte_t*>(bytes.data()), static_cast<std::int32_t>(bytes.size()));
    md5_byte_t digest[16];
    md5_finish(&state, digest);
    return hex(digest);
}

// The same bytes fed in runs of the given sizes, cycling.
std::string md5InRuns(const std::string& bytes, const std::vector<int>& runs) {
    md5_state_t state;
    md5_init(&state);
    std::size_t offset = 0;
    for (std::size_t r = 0; offset < bytes.size(); ++r) {
        const std::size_t run =
            std::min<std::size_t>(static_cast<std::size_t>(runs[r % runs.size()]), bytes.size() - offset);
        md5_append(&state, reinterpret_cast<const md5_byte_t*>(bytes.data() + offset), static_cast<std::int32_t>(run));
        offset += run;
    }
    md5_byte_t digest[16];
    md5_finish(&state, digest);
    return hex(digest);
}

std::string md5sumOf(const std::string& bytes) {
    char path[] = "/tmp/tarnwick-md5-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return {};
    const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    std::string result;
    if (written) {
        const std::string command = std::string("md5sum ") + path;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char line[128] = {};
            if (std::fgets(line, sizeof line, pipe)) result.assign(line, 32);
            ::pclose(pipe);
        }
    }
    ::unlink(path);
    return result;
}

bool haveMd5sum() { return std::system("command -v md5sum >/dev/null 2>&1") == 0; }

TEST(Md5, RfcTestSuite) {
    EXPECT_EQ(md5Of(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Of("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(md5Of("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5Of("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(md5Of("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(md5Of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(md5Of("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, CountOfZeroOrLessAddsNothing) {
    md5_state_t state;
    md5_init(&state);
    const md5_byte_t bytes[] = {'a', 'b', 'c'};
    md5_append(&state, bytes, 0);
    md5_append(&state, bytes, -5);
    md5_append(&state, bytes, 3);
    md5_append(&state, bytes, -1);
    md5_byte_t digest[16];
    md5_finish(&state, digest);
    EXPECT_EQ(hex(digest), md5Of("abc"));
}

TEST(Md5, PieceMealAppendsGiveTheSameDigestAsOne) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += static_cast<char>(i * 7 + 3);
    const std::string whole = md5Of(text);
    EXPECT_EQ(md5InRuns(text, {1}), whole);
    EXPECT_EQ(md5InRuns(text, {63, 1, 64, 65}), whole);
    EXPECT_EQ(md5InRuns(text, {55, 9, 128}), whole);
}

TEST(Md5, BlockBoundariesAgreeWithMd5sum) {
    if (!haveMd5sum()) GTEST_SKIP() << "md5sum is not installed; block-boundary agreement not checked";
    for (std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 127u, 128u, 129u}) {
        const std::string bytes(length, 'x');
        EXPECT_EQ(md5Of(bytes), md5sumOf(bytes)) << "length " << length;
    }
}

// A few thousand random inputs of up to 200 bytes, multi-byte UTF-8 among
// them, hashed together by md5sum: one child process for the whole batch.
TEST(Md5, AgreesWithMd5sumOnRandomInputs) {
    if (!haveMd5sum()) GTEST_SKIP() << "md5sum is not installed; random agreement not checked";
    char folder[] = "/tmp/tarnwick-md5-batch-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    std::mt19937 random(20261207);
    const std::vector<std::string> pieces = {"a", "Z", "0", " ", "%", "é", "ß", "€", "日本", "😀", "\n", "\x01"};
    std::vector<std::string> inputs;
    for (int i = 0; i < 3000; ++i) {
        std::string input;
        const std::size_t length = random() % 201;
        while (input.size() < length) {
            if (random() % 3 == 0)
                input += pieces[random() % pieces.size()];
            else
                input += static_cast<char>(random() % 256);
        }
        input.resize(length);
        inputs.push_back(input);
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::string path = std::string(folder) + "/" + std::to_string(100000 + i);
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(inputs[i].data(), 1, inputs[i].size(), f);
        std::fclose(f);
    }
    const std::string command = std::string("cd ") + folder + " && md5sum * && rm -f * && cd / && rmdir " + folder;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256];
    std::size_t checked = 0;
    while (std::fgets(line, sizeof line, pipe)) {
        const std::string text = line;
        const std::size_t index = std::stoul(text.substr(34)) - 100000;
        ASSERT_LT(index, inputs.size());
        EXPECT_EQ(md5Of(inputs[index]), text.substr(0, 32)) << "input " << index;
        ++checked;
    }
    ::pclose(pipe);
    EXPECT_EQ(checked, inputs.size());
}

}  // namespace
