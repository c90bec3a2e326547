#include "platform/ui/OpenPanel.h"

namespace platform {

int OpenPanel::runModalForDirectory(const std::string& directory, const std::string& file) {
    directory_ = directory;
    filenames_.clear();
    auto chosen = OpenPanelPresenter::shared().present(*this, file);
    if (!chosen || chosen->empty()) return CancelButton;
    filenames_ = std::move(*chosen);
    if (!allowsMultipleSelection) filenames_.resize(1);
    return OKButton;
}

}  // namespace platform
