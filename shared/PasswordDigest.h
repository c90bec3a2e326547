#pragma once

#include <optional>
#include <string>
#include <string_view>

// The stored form of a password: 32 hexadecimal digits of its MD5 digest.
// Anything else in the settings can never match what is typed, so it counts
// as no password at all rather than a lock nobody can open. Depends on
// nothing else, so that the lock guard compiles it too.
namespace password_digest {

// The digest in lower case, or none when the text is no digest.
std::optional<std::string> normalised(std::string_view stored);

// Why a stored value is no digest, for the log.
std::string problemWith(std::string_view stored);

}  // namespace password_digest
