// The libplist adapter reads and writes the same way whichever libplist the
// build found (2.2 on Debian 12, 2.6 on Debian 13).

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/libplist/Libplist.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

namespace libplist = platform::plist::libplist;
using Bytes = std::vector<std::uint8_t>;

struct NodeFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using Node = std::unique_ptr<void, NodeFree>;

Node read(const Bytes& bytes) {
    return Node(
        libplist::fromMemory(reinterpret_cast<const char*>(bytes.data()), static_cast<std::uint32_t>(bytes.size())));
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// {"password": "abc"} in the binary format, written out by hand: the header,
// a dictionary of one pair (objects 1 and 2), the two ASCII strings, the
// offset table and the trailer (one-byte offsets and references, 3 objects,
// top object 0, table at byte 24).
Bytes binaryPasswordList() {
    Bytes bytes = text("bplist00");
    const Bytes objects = {0xD1, 0x01, 0x02, 0x58, 'p', 'a', 's', 's', 'w', 'o', 'r', 'd', 0x53, 'a', 'b', 'c'};
    bytes.insert(bytes.end(), objects.begin(), objects.end());
    const Bytes offsets = {8, 11, 20};
    bytes.insert(bytes.end(), offsets.begin(), offsets.end());
    const Bytes trailer = {0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 3,
                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 24};
    bytes.insert(bytes.end(), trailer.begin(), trailer.end());
    return bytes;
}

std::string passwordIn(plist_t root) {
    const plist_t entry =
        root && plist_get_node_type(root) == PLIST_DICT ? plist_dict_get_item(root, "password") : nullptr;
    if (!entry || plist_get_node_type(entry) != PLIST_STRING) return "(none)";
    char* value = nullptr;
    plist_get_string_val(entry, &value);
    std::string result = value ? value : "";
    std::free(value);
    return result;
}

Bytes nestedArraysXml(int levels) {
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    for (int i = 0; i < levels; ++i) s += "<array>";
    s += "<string>bottom</string>";
    for (int i = 0; i < levels; ++i) s += "</array>";
    return text(s + "</plist>\n");
}

int depthOf(plist_t node) {
    int depth = 0;
    while (node && plist_get_node_type(node) == PLIST_ARRAY && plist_array_get_size(node) == 1) {
        node = plist_array_get_item(node, 0);
        ++depth;
    }
    return node && plist_get_node_type(node) == PLIST_STRING ? depth : -1;
}

TEST(Libplist, ABinaryListWrittenByHandIsRead) {
    const Node root = read(binaryPasswordList());
    EXPECT_EQ(passwordIn(root.get()), "abc");
    const auto value = platform::plist::parse(binaryPasswordList());
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ((*value)["password"].stringValue(), "abc");
}

TEST(Libplist, CorruptOrForeignBytesGiveNoList) {
    Bytes badReference = binaryPasswordList();
    badReference[10] = 7;  // the value of the pair: object 7 of 3
    Bytes badOffset = binaryPasswordList();
    badOffset[26] = 200;  // object 2 past the end of the file
    Bytes badTop = binaryPasswordList();
    badTop.back() = 250;  // the offset table past the end of the file
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"object reference out of range", badReference},
        {"object offset out of range", badOffset},
        {"offset table out of range", badTop},
        {"header alone", text("bplist00")},
        {"XML cut short", text("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>password</key><str")},
        {"XML with an unclosed element", text("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>")},
        {"JSON, which only newer libplist reads", text("{\"password\": \"abc\"}")},
        {"OpenStep text, which only newer libplist reads", text("{ password = abc; }")},
        {"no property list", text("not a property list")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read(c.bytes), nullptr) << c.what;
        EXPECT_FALSE(platform::plist::parse(c.bytes).has_value()) << c.what;
    }
    // Every prefix of a good binary list is a truncated file.
    const Bytes whole = binaryPasswordList();
    for (std::size_t length = 1; length < whole.size(); ++length)
        EXPECT_EQ(read(Bytes(whole.begin(), whole.begin() + static_cast<long>(length))), nullptr) << length;
}

TEST(Libplist, DeepListsAreReadInBothFormats) {
    constexpr int kLevels = 500;
    const Node fromXml = read(nestedArraysXml(kLevels));
    EXPECT_EQ(depthOf(fromXml.get()), kLevels);
    const Bytes binary = libplist::toBinary(fromXml.get());
    ASSERT_GE(binary.size(), 8u);
    EXPECT_EQ(std::string(binary.begin(), binary.begin() + 8), "bplist00");
    EXPECT_EQ(depthOf(read(binary).get()), kLevels);
    const Bytes xml = libplist::toXml(fromXml.get());
    EXPECT_EQ(std::string(xml.begin(), xml.begin() + 5), "<?xml");
    EXPECT_EQ(depthOf(read(xml).get()), kLevels);
}

}  // namespace
