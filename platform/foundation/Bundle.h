#pragma once

#include "platform/foundation/Value.h"

#include <optional>
#include <string>

namespace platform {

// A bundle folder: Contents/Info.plist and Contents/Resources.
class Bundle {
public:
    explicit Bundle(std::string path);

    // The bundle that holds the running executable (…/X.app/Contents/MacOS/exe).
    static Bundle& main();
    // Points the main bundle elsewhere (tests, the headless host).
    static void setMainPath(const std::string& path);

    const std::string& path() const { return path_; }
    std::string resourcePath() const;
    std::string pathForResource(const std::string& fileName) const;  // "" when absent
    Dictionary infoDictionary() const;
    Value objectForInfoDictionaryKey(const std::string& key) const;
    std::string bundleIdentifier() const;

    // The Info.plist of the bundle at `bundlePath`; nullopt when unreadable.
    static std::optional<Dictionary> readInfoPlist(const std::string& bundlePath);

private:
    std::string path_;
};

}  // namespace platform
