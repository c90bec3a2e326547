#include "platform/headless/ScriptedAlertPresenter.h"

namespace platform::headless {

int ScriptedAlertPresenter::present(const Alert& alert) {
    Answer answer;
    {
        std::lock_guard<std::mutex> guard(lock_);
        shown_.push_back(alert);
        if (answers_.empty()) return 0;
        answer = std::move(answers_.front());
        answers_.pop_front();
    }
    // Unlocked: what the user does meanwhile may raise another alert.
    if (answer.meanwhile) answer.meanwhile();
    for (std::size_t i = 0; i < alert.buttons.size(); ++i)
        if (alert.buttons[i] == answer.buttonTitle) return static_cast<int>(i);
    return 0;
}

void ScriptedAlertPresenter::answerNext(const std::string& buttonTitle) { answerNext(buttonTitle, nullptr); }

void ScriptedAlertPresenter::answerNext(const std::string& buttonTitle, std::function<void()> meanwhile) {
    std::lock_guard<std::mutex> guard(lock_);
    answers_.push_back({buttonTitle, std::move(meanwhile)});
}

std::vector<Alert> ScriptedAlertPresenter::shown() const {
    std::lock_guard<std::mutex> guard(lock_);
    return shown_;
}

std::size_t ScriptedAlertPresenter::shownCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return shown_.size();
}

void ScriptedAlertPresenter::clear() {
    std::lock_guard<std::mutex> guard(lock_);
    answers_.clear();
    shown_.clear();
}

}  // namespace platform::headless
