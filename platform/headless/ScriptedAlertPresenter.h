#pragma once

#include "platform/ui/Alert.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace platform::headless {

// Answers alerts from a script of button titles; without a scripted answer
// the default button is pressed. Every shown alert is recorded.
class ScriptedAlertPresenter final : public AlertPresenter {
public:
    int present(const Alert& alert) override;

    // The next alert is answered by pressing the button with this title.
    void answerNext(const std::string& buttonTitle);
    // As above, doing `meanwhile` first, as the user would before pressing
    // the button (reconnecting a camera, quitting another program).
    void answerNext(const std::string& buttonTitle, std::function<void()> meanwhile);
    std::vector<Alert> shown() const;
    std::size_t shownCount() const;
    void clear();

private:
    mutable std::mutex lock_;
    struct Answer {
        std::string buttonTitle;
        std::function<void()> meanwhile;
    };
    std::deque<Answer> answers_;
    std::vector<Alert> shown_;
};

}  // namespace platform::headless
