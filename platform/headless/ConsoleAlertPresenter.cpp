#include "platform/headless/ConsoleAlertPresenter.h"

namespace platform::headless {

int ConsoleAlertPresenter::present(const Alert& alert) {
    std::fprintf(stream_, "Tarnwick alert: %s\n", alert.messageText.c_str());
    if (!alert.informativeText.empty()) std::fprintf(stream_, "  %s\n", alert.informativeText.c_str());
    if (!alert.buttons.empty()) std::fprintf(stream_, "  [%s]\n", alert.buttons.front().c_str());
    std::fflush(stream_);
    return 0;
}

}  // namespace platform::headless
