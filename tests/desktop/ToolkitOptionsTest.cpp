#include <gtest/gtest.h>

#include "platform/desktop/qt/ToolkitOptions.h"

#include <optional>
#include <string_view>

namespace {

TEST(ToolkitOptions, QtsOptionsWithOneDashOrTwoAndTheirValues) {
    const std::pair<std::string_view, std::optional<int>> cases[] = {
        {"-display", 1},
        {"--display", 1},
        {"-platform", 1},
        {"-qwindowgeometry", 1},
        {"-style", 1},
        {"-style=Fusion", 0},
        {"--stylesheet=a.qss", 0},
        {"-reverse", 0},
        {"-qmljsdebugger=port:1234", 0},
        {"-style=", std::nullopt},
        {"-styles", std::nullopt},
        {"---display", std::nullopt},
        {"display", std::nullopt},
        {"-", std::nullopt},
        {"--help", std::nullopt},
    };
    for (const auto& [argument, values] : cases)
        EXPECT_EQ(platform::desktop::toolkitOptionValues(argument), values) << argument;
}

}  // namespace
