#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A toolkit that knows one option with a value and one without.
std::optional<int> toolkit(std::string_view argument) {
    if (argument == "-display" || argument == "--display") return 1;
    if (argument == "-reverse") return 0;
    return std::nullopt;
}

TEST(CommandLineTest, TellsWhatTheArgumentsAskFor) {
    using Request = CommandLine::Request;
    struct Case {
        std::vector<std::string> arguments;
        Request request;
        const char* problem;
    };
    const Case cases[] = {
        {{}, Request::Run, ""},
        {{"--help"}, Request::ShowHelp, ""},
        {{"-h"}, Request::ShowHelp, ""},
        {{"--version"}, Request::ShowVersion, ""},
        {{"-display", ":1", "-reverse"}, Request::Run, ""},
        {{"--display", ":1", "--version"}, Request::ShowVersion, ""},
        // The value of a toolkit option is never taken for an option of ours.
        {{"-display", "--help"}, Request::Run, ""},
        {{"--"}, Request::Run, ""},
        {{"--frobnicate"}, Request::UsageError, "unknown option --frobnicate"},
        {{"-v"}, Request::UsageError, "unknown option -v"},
        {{"--frobnicate", "--help"}, Request::UsageError, "unknown option --frobnicate"},
        {{"-reverse", "-display"}, Request::UsageError, "option -display needs a value"},
        {{"lock"}, Request::UsageError, "unexpected argument lock"},
        {{"-"}, Request::UsageError, "unexpected argument -"},
        {{"--", "--help"}, Request::UsageError, "unexpected argument --help"},
    };
    for (const Case& c : cases) {
        const CommandLine line = CommandLine::parse(c.arguments, toolkit);
        std::string shown;
        for (const std::string& argument : c.arguments) shown += argument + " ";
        EXPECT_EQ(line.request(), c.request) << shown;
        EXPECT_EQ(line.problem(), c.problem) << shown;
    }
}

TEST(CommandLineTest, WithoutAToolkitEveryOtherOptionIsUnknown) {
    const CommandLine line = CommandLine::parse({"-display", ":1"}, {});
    EXPECT_EQ(line.request(), CommandLine::Request::UsageError);
    EXPECT_EQ(line.problem(), "unknown option -display");
}

}  // namespace
