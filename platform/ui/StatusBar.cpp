#include "platform/ui/StatusBar.h"

#include "platform/ui/View.h"

#include <algorithm>

namespace platform {

bool Menu::performActionForItem(const std::string& title) {
    for (const auto& item : items_) {
        if (item.title == title && item.action) {
            item.action(nullptr);
            return true;
        }
    }
    return false;
}

void StatusItem::changed() {
    if (peer_) peer_->modelChanged();
}

void StatusItem::setImage(const ImageRef& image) {
    image_ = image;
    changed();
}

void StatusItem::setMenu(const MenuRef& menu) {
    menu_ = menu;
    changed();
}

void StatusItem::setToolTip(const std::string& tip) {
    toolTip_ = tip;
    changed();
}

void StatusItem::setHighlightMode(bool on) {
    highlight_ = on;
    changed();
}

void StatusItem::setPeer(std::shared_ptr<Peer> peer) { peer_ = std::move(peer); }

StatusBar& StatusBar::system() {
    static StatusBar bar;
    return bar;
}

StatusItemRef StatusBar::statusItemWithLength(double length) {
    auto item = std::make_shared<StatusItem>(length);
    items_.push_back(item);
    if (listener_) listener_(item, true);
    return item;
}

void StatusBar::removeStatusItem(const StatusItemRef& item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    if (listener_) listener_(item, false);
}

void StatusBar::reset() {
    items_.clear();
    listener_ = nullptr;
}

}  // namespace platform
