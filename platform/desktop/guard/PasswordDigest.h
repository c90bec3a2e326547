#pragma once

#include <optional>
#include <string>

namespace platform::desktop::guard {

// The application's preferences file, where its password is kept as the MD5
// digest of its UTF-8 bytes: $XDG_CONFIG_HOME/preferences/<domain>.plist.
std::string preferencesFile();

// The digest stored under "password", in lower case. None when the file is
// missing, is not a regular file (a link to one is), is too large or too
// deeply nested, is not a property list, or holds no digest there.
std::optional<std::string> readPasswordDigest(const std::string& path);

// The keyboard layout the password was typed with ("passwordInputSource",
// as the lock screen names it: "xkb:de", "xkb:us(intl)").
std::optional<std::string> readPasswordLayout(const std::string& path);

// The "penalty" after three wrong passwords, in whole minutes; none when
// the file holds no number there (the application's default is 1).
std::optional<long> readPenaltyMinutes(const std::string& path);

// Whether `password` has the digest `digest`, in time that does not depend
// on where the two differ.
bool passwordMatches(const std::string& password, const std::string& digest);

}  // namespace platform::desktop::guard
