#include "platform/ui/Layout.h"

namespace platform {

void FormView::addRow(const std::string& caption, const ViewRef& view) {
    captions_.push_back(caption);
    addSubview(view);
}

void TabView::addTab(const std::string& label, const ViewRef& page) {
    labels_.push_back(label);
    addSubview(page);
}

void TabView::selectTabAtIndex(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= labels_.size()) return;
    selected_ = index;
    changed();
}

}  // namespace platform
