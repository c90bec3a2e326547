#pragma once

#include "platform/ui/Alert.h"

namespace platform::desktop {

// Alerts as modal message boxes; the first button is the default one.
class QtAlertPresenter final : public AlertPresenter {
public:
    int present(const Alert& alert) override;
};

}  // namespace platform::desktop
