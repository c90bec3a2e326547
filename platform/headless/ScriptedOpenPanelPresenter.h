#pragma once

#include "platform/ui/OpenPanel.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::headless {

// Answers open panels from a script: a chosen path, or a cancel. Without a
// scripted answer the panel is cancelled. Every shown panel is recorded.
class ScriptedOpenPanelPresenter final : public OpenPanelPresenter {
public:
    struct Shown {
        OpenPanel panel;
        std::string file;
    };

    std::optional<std::vector<std::string>> present(const OpenPanel& panel, const std::string& file) override;

    void chooseNext(const std::string& path);
    void cancelNext();
    std::vector<Shown> shown() const;

private:
    mutable std::mutex lock_;
    std::deque<std::optional<std::string>> answers_;
    std::vector<Shown> shown_;
};

}  // namespace platform::headless
