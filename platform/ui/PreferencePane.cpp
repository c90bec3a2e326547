#include "platform/ui/PreferencePane.h"

namespace platform {

const ViewRef& PreferencePane::loadMainView() {
    if (mainView_) return mainView_;
    mainView_ = assignMainView();
    if (mainView_) mainViewDidLoad();
    return mainView_;
}

}  // namespace platform
