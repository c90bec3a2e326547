#pragma once

#include "platform/ui/OpenPanel.h"

namespace platform::desktop {

// Open panels as modal file dialogs of the desktop's style, over the active window.
class QtOpenPanelPresenter final : public OpenPanelPresenter {
public:
    std::optional<std::vector<std::string>> present(const OpenPanel& panel, const std::string& file) override;
};

}  // namespace platform::desktop
