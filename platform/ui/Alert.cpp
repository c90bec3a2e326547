#include "platform/ui/Alert.h"

namespace platform {

namespace {

int alertsShowing = 0;

}  // namespace

bool Alert::isShowing() { return alertsShowing > 0; }

Alert Alert::withMessage(std::string message, std::string defaultButton, std::string alternateButton,
                         std::string otherButton, std::string informative) {
    Alert alert;
    alert.messageText = std::move(message);
    alert.informativeText = std::move(informative);
    alert.buttons.push_back(defaultButton.empty() ? "OK" : std::move(defaultButton));
    if (!alternateButton.empty()) alert.buttons.push_back(std::move(alternateButton));
    if (!otherButton.empty()) alert.buttons.push_back(std::move(otherButton));
    return alert;
}

int Alert::runModal() const {
    ++alertsShowing;
    const int pressed = AlertPresenter::shared().present(*this);
    --alertsShowing;
    switch (pressed) {
        case 0: return DefaultReturn;
        case 1: return AlternateReturn;
        default: return OtherReturn;
    }
}

}  // namespace platform
