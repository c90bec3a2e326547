#include "platform/foundation/Bundle.h"

#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"

#include <memory>
#include <mutex>
#include <unistd.h>

namespace platform {

namespace {

std::string executablePath() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// …/X.app/Contents/MacOS/exe → …/X.app; an executable outside a bundle is
// its own folder's bundle.
std::string bundlePathOfExecutable(const std::string& exe) {
    std::string macos = paths::deletingLastComponent(exe);
    const std::string contents = paths::deletingLastComponent(macos);
    if (paths::lastComponent(macos) == "MacOS" && paths::lastComponent(contents) == "Contents")
        return paths::deletingLastComponent(contents);
    return macos;
}

std::mutex mainLock;
std::unique_ptr<Bundle> mainBundle;

}  // namespace

Bundle::Bundle(std::string path) : path_(std::move(path)) {}

Bundle& Bundle::main() {
    std::lock_guard<std::mutex> guard(mainLock);
    if (!mainBundle) mainBundle = std::make_unique<Bundle>(bundlePathOfExecutable(executablePath()));
    return *mainBundle;
}

void Bundle::setMainPath(const std::string& path) {
    std::lock_guard<std::mutex> guard(mainLock);
    mainBundle = std::make_unique<Bundle>(path);
}

std::string Bundle::resourcePath() const { return paths::appendComponent(path_, "Contents/Resources"); }

std::string Bundle::pathForResource(const std::string& fileName) const {
    const std::string candidate = paths::appendComponent(resourcePath(), fileName);
    return FileManager::fileExists(candidate) ? candidate : std::string();
}

Dictionary Bundle::infoDictionary() const { return readInfoPlist(path_).value_or(Dictionary{}); }

Value Bundle::objectForInfoDictionaryKey(const std::string& key) const {
    const Dictionary info = infoDictionary();
    auto it = info.find(key);
    return it == info.end() ? Value() : it->second;
}

std::string Bundle::bundleIdentifier() const { return objectForInfoDictionaryKey("CFBundleIdentifier").stringValue(); }

std::optional<Dictionary> Bundle::readInfoPlist(const std::string& bundlePath) {
    auto value = plist::readFile(paths::appendComponent(bundlePath, "Contents/Info.plist"));
    if (!value || !value->isDictionary()) return std::nullopt;
    return value->dictionaryValue();
}

}  // namespace platform
