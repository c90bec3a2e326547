#include "shared/PasswordDigest.h"

#include <algorithm>
#include <cctype>

namespace password_digest {

namespace {

constexpr std::size_t kDigestLength = 32;

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::optional<std::string> normalised(std::string_view stored) {
    if (stored.size() != kDigestLength || !std::all_of(stored.begin(), stored.end(), isHexDigit)) return std::nullopt;
    std::string digest(stored);
    std::transform(digest.begin(), digest.end(), digest.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return digest;
}

std::string problemWith(std::string_view stored) {
    if (stored.size() != kDigestLength)
        return "it has " + std::to_string(stored.size()) + " characters instead of 32 hexadecimal digits";
    return "it holds characters that are not hexadecimal digits";
}

}  // namespace password_digest
