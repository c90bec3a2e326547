#include "platform/services/Inhibitions.h"

#include <gtest/gtest.h>

#include <string>

using platform::Inhibitions;
using Refusal = Inhibitions::Refusal;

namespace {

std::optional<Refusal> refusalOf(const std::variant<std::uint32_t, Refusal>& result) {
    if (const auto* refusal = std::get_if<Refusal>(&result)) return *refusal;
    return std::nullopt;
}

}  // namespace

TEST(Inhibitions, TextThatIsTooLongOrNotUtf8IsRefused) {
    const std::string longest(Inhibitions::kMaximumTextBytes, 'a');
    const struct {
        std::string application;
        std::string reason;
        std::optional<Refusal> refusal;
    } cases[] = {
        {"mpv", "Playing", std::nullopt},
        {"", "", std::nullopt},
        {longest, longest, std::nullopt},
        {"Film \xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xAC", "ok", std::nullopt},
        {longest + "a", "", Refusal::TextTooLong},
        {"mpv", std::string(1 << 20, 'r'), Refusal::TextTooLong},
        {"\xFF\xFE", "", Refusal::NotUtf8},
        {"mpv", "cut \xC3", Refusal::NotUtf8},
        {"overlong \xC0\xAF", "", Refusal::NotUtf8},
        {"surrogate \xED\xA0\x80", "", Refusal::NotUtf8},
    };
    for (const auto& c : cases) {
        Inhibitions inhibitions;
        EXPECT_EQ(refusalOf(inhibitions.inhibit(":1.1", c.application, c.reason)), c.refusal)
            << c.application.substr(0, 20);
        EXPECT_EQ(inhibitions.empty(), c.refusal.has_value());
    }
}

TEST(Inhibitions, OnlyTheOwnerEndsAnInhibitionAndUnknownCookiesAreRefused) {
    Inhibitions inhibitions;
    const auto cookie = std::get<std::uint32_t>(inhibitions.inhibit(":1.1", "mpv", "film"));
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(inhibitions.uninhibit(":1.2", cookie), Refusal::NotTheOwner);
    EXPECT_EQ(inhibitions.uninhibit(":1.1", cookie + 1), Refusal::UnknownCookie);
    EXPECT_FALSE(inhibitions.empty());
    EXPECT_EQ(inhibitions.uninhibit(":1.1", cookie), std::nullopt);
    EXPECT_EQ(inhibitions.uninhibit(":1.1", cookie), Refusal::UnknownCookie) << "a cookie ends once";
    EXPECT_TRUE(inhibitions.empty());
}

TEST(Inhibitions, ThousandsOfRequestsStayBoundedAndACallerLeavingFreesItsShare) {
    Inhibitions inhibitions;
    int refusedPerCaller = 0, refusedInTotal = 0;
    for (int caller = 0; caller < 40; ++caller)
        for (int i = 0; i < 100; ++i) {
            const auto refusal = refusalOf(inhibitions.inhibit(":1." + std::to_string(caller), "a\nb", ""));
            refusedPerCaller += refusal == Refusal::TooManyForCaller;
            refusedInTotal += refusal == Refusal::TooManyInTotal;
        }
    EXPECT_EQ(inhibitions.count(), Inhibitions::kMaximumInTotal);
    EXPECT_EQ(inhibitions.countOf(":1.0"), Inhibitions::kMaximumPerCaller);
    EXPECT_GT(refusedPerCaller, 0);
    EXPECT_GT(refusedInTotal, 0);
    EXPECT_EQ(inhibitions.anyApplication(), "a?b") << "no line breaks reach the log";

    EXPECT_EQ(inhibitions.callerLeft(":1.0"), Inhibitions::kMaximumPerCaller);
    EXPECT_TRUE(std::holds_alternative<std::uint32_t>(inhibitions.inhibit(":1.99", "mpv", "")));
}
