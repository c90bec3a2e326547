#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What the arguments of the Tarnwick executable ask for. Tarnwick has two
// options of its own; everything else must be an option of the toolkit the
// backend starts, which takes its own arguments out of the list later.
class CommandLine {
public:
    enum class Request { Run, ShowHelp, ShowVersion, UsageError };

    // How many values follow a toolkit option (0 or 1); none when the
    // toolkit does not know the argument.
    using ToolkitOptions = std::function<std::optional<int>(std::string_view argument)>;

    // `arguments` without the program name.
    static CommandLine parse(const std::vector<std::string>& arguments, const ToolkitOptions& toolkitOptions);

    // The text of --help.
    static std::string usage();

    Request request() const { return request_; }
    // Why the arguments were refused, for UsageError.
    const std::string& problem() const { return problem_; }

private:
    CommandLine(Request request, std::string problem = {}) : request_(request), problem_(std::move(problem)) {}

    Request request_;
    std::string problem_;
};
