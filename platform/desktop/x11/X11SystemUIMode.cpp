#include "platform/desktop/x11/X11SystemUIMode.h"

namespace platform::desktop {

int X11SystemUIMode::set(std::uint32_t mode, std::uint32_t) {
    mode_ = mode;
    return 0;
}

std::string X11SystemUIMode::errorString(int status) { return status == 0 ? "noErr" : "paramErr"; }

std::string X11SystemUIMode::commentString(int status) {
    return status == 0 ? "No error" : "Error in user parameter list";
}

}  // namespace platform::desktop
