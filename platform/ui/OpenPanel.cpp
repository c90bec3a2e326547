#include "platform/ui/OpenPanel.h"

#include "platform/foundation/FileManager.h"

#include <algorithm>

namespace platform {

int OpenPanel::runModalForDirectory(const std::string& directory, const std::string& file) {
    directory_ = directory;
    filenames_.clear();
    auto chosen = OpenPanelPresenter::shared().present(*this, file);
    if (!chosen) return CancelButton;
    // A typed name can get past the dialog's filter; it is no choice.
    std::erase_if(*chosen, [this](const std::string& path) { return !allowsFile(path); });
    if (chosen->empty()) return CancelButton;
    filenames_ = std::move(*chosen);
    if (!allowsMultipleSelection) filenames_.resize(1);
    return OKButton;
}

bool OpenPanel::allowsFile(const std::string& path) const {
    if (allowedFileTypes.empty()) return true;
    const std::string extension = paths::pathExtension(path);
    return std::find(allowedFileTypes.begin(), allowedFileTypes.end(), extension) != allowedFileTypes.end();
}

}  // namespace platform
