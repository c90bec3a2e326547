#include "platform/ui/PopUpButton.h"

namespace platform {

PopUpItemRef PopUpButton::addItem(const std::string& title, int tag, Action itemAction) {
    auto item = std::make_shared<PopUpItem>(title, tag, std::move(itemAction));
    items_.push_back(item);
    if (selected_ < 0) selected_ = 0;
    changed();
    return item;
}

std::shared_ptr<PopUpItem> PopUpItem::separatorItem() {
    auto item = std::make_shared<PopUpItem>("", 0, Action{});
    item->separator_ = true;
    return item;
}

void PopUpButton::insertItem(const PopUpItemRef& item, int index) {
    if (!item) return;
    const int at = index < 0 || index > numberOfItems() ? numberOfItems() : index;
    items_.insert(items_.begin() + at, item);
    if (selected_ >= at)
        ++selected_;
    else if (selected_ < 0 && !item->isSeparatorItem())
        selected_ = at;
    changed();
}

void PopUpButton::removeAllItems() {
    items_.clear();
    selected_ = -1;
    changed();
}

void PopUpButton::removeItemAtIndex(int index) {
    if (index < 0 || index >= numberOfItems()) return;
    items_.erase(items_.begin() + index);
    if (selected_ == index)
        selected_ = -1;
    else if (selected_ > index)
        --selected_;
    changed();
}

PopUpItemRef PopUpButton::selectedItem() const {
    return selected_ >= 0 ? items_[static_cast<std::size_t>(selected_)] : nullptr;
}

int PopUpButton::indexOfItemWithTag(int tag) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->tag() == tag) return static_cast<int>(i);
    return -1;
}

bool PopUpButton::selectItemWithTag(int tag) {
    selectItemAtIndex(indexOfItemWithTag(tag));
    return selected_ >= 0;
}

void PopUpButton::selectItemAtIndex(int index) {
    selected_ = index >= 0 && static_cast<std::size_t>(index) < items_.size() ? index : -1;
    changed();
}

void PopUpButton::userSelected(int index) {
    if (!isEnabled() || index < 0 || static_cast<std::size_t>(index) >= items_.size()) return;
    if (items_[static_cast<std::size_t>(index)]->isSeparatorItem()) return;
    selectItemAtIndex(index);
    // The item may go while its action runs (the menu is rebuilt); the
    // sender stays alive until the action is done.
    const PopUpItemRef item = items_[static_cast<std::size_t>(index)];
    if (item->action())
        item->action()(item.get());
    else if (action_)
        action_(this);
}

}  // namespace platform
