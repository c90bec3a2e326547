#pragma once

#include "platform/services/Service.h"

#include <string>
#include <vector>

namespace platform {

// A modal alert. The first button is the default one.
struct Alert {
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons;

    // Answers of runModal: the default button 1, the alternate 0, the other -1.
    static constexpr int DefaultReturn = 1;
    static constexpr int AlternateReturn = 0;
    static constexpr int OtherReturn = -1;

    static Alert withMessage(std::string message, std::string defaultButton, std::string alternateButton,
                             std::string otherButton, std::string informative);
    int runModal() const;
    // Whether an alert waits for its answer now (alerts run on the main thread).
    static bool isShowing();
};

// Shows alerts modally: a real dialog on the desktop, a scripted answer headless.
class AlertPresenter : public Service<AlertPresenter> {
public:
    virtual ~AlertPresenter() = default;
    // Returns the index of the pressed button (0 = default, 1 = alternate, 2 = other).
    virtual int present(const Alert& alert) = 0;
};

}  // namespace platform
