#pragma once

#include "platform/foundation/Value.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

// Path helpers and the Library, caches and preferences folders, mapped onto
// the XDG base directories.
namespace paths {

std::string home();
std::string expandTilde(const std::string& path);
std::string abbreviateWithTilde(const std::string& path);
std::string appendComponent(const std::string& base, const std::string& component);
// Whether two paths name the same place, through links, "..", "." and
// trailing slashes; either may not exist yet.
bool sameLocation(const std::string& a, const std::string& b);
std::string lastComponent(const std::string& path);
std::string deletingLastComponent(const std::string& path);
std::string pathExtension(const std::string& path);

enum class Domain { User, Local };
// User: $XDG_DATA_HOME (~/.local/share); Local: each entry of $XDG_DATA_DIRS
// (/usr/local/share:/usr/share), in order.
std::vector<std::string> libraryDirectories(Domain domain);
std::string cachesDirectory();       // $XDG_CACHE_HOME (~/.cache)
std::string configDirectory();       // $XDG_CONFIG_HOME (~/.config)
std::string preferencesDirectory();  // $XDG_CONFIG_HOME/preferences

}  // namespace paths

class FileManager {
public:
    static bool fileExists(const std::string& path);
    static bool isDirectory(const std::string& path);
    static bool createDirectory(const std::string& path, bool withIntermediates = true);
    static std::vector<std::string> contentsOfDirectory(const std::string& path);
    static bool removeItem(const std::string& path);
    static std::optional<Data> readFile(const std::string& path);
    // The contents of a regular file (a link to one is fine) of at most
    // maxBytes; none for anything else (a FIFO, a device, a directory) or a
    // larger file. Never blocks on what it refuses.
    static std::optional<Data> readRegularFile(const std::string& path, std::size_t maxBytes);
    // Temporary file in the same folder, then rename: readers see the old or
    // the new file, never a part.
    static bool writeAtomically(const std::string& path, const Data& data, unsigned mode = 0644);
};

}  // namespace platform
