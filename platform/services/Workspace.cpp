#include "platform/services/Workspace.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/DesktopEntry.h"
#include "platform/foundation/FileManager.h"

namespace platform {

namespace {

// A name in the icon theme; the desktop looks it up when it draws the icon.
ImageRef themeIcon(const std::string& name) {
    auto image = std::make_shared<Image>();
    image->setName(name);
    return image;
}

ImageRef bundleIcon(const std::string& path) {
    const auto info = Bundle::readInfoPlist(path);
    if (!info) return nullptr;
    auto it = info->find("CFBundleIconFile");
    if (it == info->end() || !it->second.isString() || it->second.stringValue().empty()) return nullptr;
    const std::string resources = paths::appendComponent(path, "Contents/Resources");
    const std::string file = paths::appendComponent(resources, it->second.stringValue());
    for (const std::string& candidate : {file, file + ".png", file + ".icns"})
        if (ImageRef image = Image::fromFile(candidate)) return image;
    return nullptr;
}

ImageRef desktopEntryIcon(const std::string& path) {
    const auto entry = DesktopEntry::read(path);
    const auto icon = entry ? entry->value("Icon") : std::nullopt;
    if (!icon || icon->empty()) return nullptr;
    if (icon->front() == '/') return Image::fromFile(*icon);
    return themeIcon(*icon);
}

}  // namespace

ImageRef Workspace::iconForFile(const std::string& path) const {
    ImageRef icon = paths::pathExtension(path) == DesktopEntry::kExtension ? desktopEntryIcon(path) : bundleIcon(path);
    return icon ? icon : themeIcon(kGenericApplicationIcon);
}

}  // namespace platform
