#include <gtest/gtest.h>

#include "platform/desktop/x11/XkbInputSources.h"

using platform::desktop::XkbInputSources;

TEST(XkbIdentifiers, OnePerGroupWithVariantsWhereGiven) {
    EXPECT_EQ(XkbInputSources::identifiersFor("us", ""), (std::vector<std::string>{"xkb:us"}));
    EXPECT_EQ(XkbInputSources::identifiersFor("us,de", ""), (std::vector<std::string>{"xkb:us", "xkb:de"}));
    EXPECT_EQ(XkbInputSources::identifiersFor("us,de,fr", ",nodeadkeys,"),
              (std::vector<std::string>{"xkb:us", "xkb:de(nodeadkeys)", "xkb:fr"}));
}

TEST(XkbIdentifiers, EmptyLayoutsGiveNoSources) {
    EXPECT_TRUE(XkbInputSources::identifiersFor("", "").empty());
    EXPECT_EQ(XkbInputSources::identifiersFor("us,,de", ""), (std::vector<std::string>{"xkb:us", "xkb:de"}));
}
