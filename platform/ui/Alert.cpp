#include "platform/ui/Alert.h"

namespace platform {

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
    const int pressed = AlertPresenter::shared().present(*this);
    switch (pressed) {
        case 0: return DefaultReturn;
        case 1: return AlternateReturn;
        default: return OtherReturn;
    }
}

}  // namespace platform
