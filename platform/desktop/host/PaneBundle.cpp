#include "platform/desktop/host/PaneBundle.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"

#include <dlfcn.h>

namespace platform::desktop {

namespace {

std::string infoString(const Dictionary& info, const std::string& key) {
    auto it = info.find(key);
    return it != info.end() && it->second.isString() ? it->second.stringValue() : std::string();
}

}  // namespace

std::variant<PaneBundle, std::string> PaneBundle::open(const std::string& path) {
    if (!FileManager::isDirectory(path)) return path + " is no pane bundle folder";
    const std::optional<Dictionary> info = Bundle::readInfoPlist(path);
    if (!info) return path + "/Contents/Info.plist is missing or is no property list dictionary";
    const std::string executable = infoString(*info, "CFBundleExecutable");
    const std::string principalClass = infoString(*info, "NSPrincipalClass");
    if (executable.empty() || executable.find('/') != std::string::npos)
        return path + "/Contents/Info.plist names no plug-in (CFBundleExecutable)";
    if (principalClass.empty()) return path + "/Contents/Info.plist names no principal class (NSPrincipalClass)";
    const std::string module = paths::appendComponent(path, "Contents/MacOS/" + executable);
    if (!FileManager::fileExists(module)) return "the plug-in " + module + " is missing";

    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return "the plug-in " + module + " cannot be loaded: " + ::dlerror();
    const std::string factoryName = principalClassFactoryName(principalClass);
    auto factory = reinterpret_cast<PrincipalClassFactory>(::dlsym(handle, factoryName.c_str()));
    if (!factory) return "the plug-in " + module + " has no class " + principalClass + " (" + factoryName + ")";

    std::string label = infoString(*info, "NSPrefPaneIconLabel");
    if (label.empty()) label = infoString(*info, "CFBundleName");
    if (label.empty()) label = paths::lastComponent(path);
    return PaneBundle(path, label, factory);
}

std::unique_ptr<PreferencePane> PaneBundle::instantiate() const {
    return std::unique_ptr<PreferencePane>(factory_(path_.c_str()));
}

}  // namespace platform::desktop
