#include "platform/headless/ScriptedOpenPanelPresenter.h"

namespace platform::headless {

std::optional<std::vector<std::string>> ScriptedOpenPanelPresenter::present(const OpenPanel& panel,
                                                                            const std::string& file) {
    std::lock_guard<std::mutex> guard(lock_);
    shown_.push_back({panel, file});
    if (answers_.empty()) return std::nullopt;
    const std::optional<std::string> answer = answers_.front();
    answers_.pop_front();
    if (!answer) return std::nullopt;
    return std::vector<std::string>{*answer};
}

void ScriptedOpenPanelPresenter::chooseNext(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    answers_.emplace_back(path);
}

void ScriptedOpenPanelPresenter::cancelNext() {
    std::lock_guard<std::mutex> guard(lock_);
    answers_.emplace_back(std::nullopt);
}

std::vector<ScriptedOpenPanelPresenter::Shown> ScriptedOpenPanelPresenter::shown() const {
    std::lock_guard<std::mutex> guard(lock_);
    return shown_;
}

}  // namespace platform::headless
