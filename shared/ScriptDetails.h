#pragma once

#include "shared/TarnwickConstants.h"

#include <string>
#include <utility>

// The script path and the argument text of an *event*.script.details value,
// read alike by the settings, which show them, and the application, which
// runs them. Only the first separator splits, so arguments that themselves
// hold the separator stay intact; a text without one is a path alone.
inline std::pair<std::string, std::string> splitScriptDetails(const std::string& details) {
    const std::size_t at = details.find(kScriptDetailsSeparator);
    if (at == std::string::npos) return {details, std::string()};
    return {details.substr(0, at), details.substr(at + std::char_traits<char>::length(kScriptDetailsSeparator))};
}
