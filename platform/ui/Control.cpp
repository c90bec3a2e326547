#include "platform/ui/Control.h"

namespace platform {

void Control::setEnabled(bool enabled) {
    enabled_ = enabled;
    changed();
}

void Control::setTag(int tag) {
    tag_ = tag;
    changed();
}

}  // namespace platform
