#pragma once

// What every reader of Tarnwick's preferences agrees on: the application, its
// settings pane and host, the lock guard, tarnwick-ctl and the bus code. It
// depends on nothing but the standard library, so that each of them, the
// guard and tarnwick-ctl with none of the platform layer, can include it.

#include <cstddef>
#include <string>

// The preferences domain, and the name the application owns on the session
// bus; also the object of its distributed notifications.
inline constexpr const char* kBundleName = "com.quillmere.Tarnwick";

namespace preferences_contract {

// A domain's file is <config folder>/preferences/<domain>.plist, the config
// folder being $XDG_CONFIG_HOME (~/.config where that is unset or relative).
inline constexpr const char* kFolderName = "preferences";
inline constexpr const char* kFileExtension = ".plist";

inline std::string fileInConfigFolder(std::string configFolder, const std::string& domain) {
    while (!configFolder.empty() && configFolder.back() == '/') configFolder.pop_back();
    return configFolder + "/" + kFolderName + "/" + domain + kFileExtension;
}

// Far above any real settings file, far below what the parser's recursion and
// the process's memory can take. A file past either limit is no settings file
// for any reader: were one reader to accept what another refuses, the guard
// that takes over a crashed lock could find no password where the
// application found one.
inline constexpr std::size_t kLargestFileBytes = std::size_t{16} << 20;
inline constexpr int kDeepestNesting = 512;

}  // namespace preferences_contract
