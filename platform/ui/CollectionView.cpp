#include "platform/ui/CollectionView.h"

namespace platform {

CollectionView::~CollectionView() {
    if (controller_) controller_->removeObserver(this);
}

void CollectionView::bindContent(const ArrayControllerRef& controller) {
    if (controller_) controller_->removeObserver(this);
    controller_ = controller;
    if (controller_) controller_->addObserver(this, [this] { reloadData(); });
    reloadData();
}

void CollectionView::reloadData() {
    for (auto& item : items_) item->removeFromSuperview();
    items_.clear();
    if (controller_ && prototype_) {
        const auto objects = controller_->arrangedObjects();
        for (std::size_t i = 0; i < objects.size(); ++i) {
            ViewRef item = prototype_(objects[i], frameOfItem(i));
            if (!item) continue;
            items_.push_back(item);
            addSubview(item);
        }
    }
    changed();
}

void CollectionView::layoutItems() {
    for (std::size_t i = 0; i < items_.size(); ++i) items_[i]->setFrame(frameOfItem(i));
}

Rect CollectionView::frameOfItem(std::size_t index) const {
    // Bottom-left origins: the first item sits against the top edge.
    const double top = frame().height - itemHeight_ * static_cast<double>(index + 1);
    return Rect{0, top, frame().width, itemHeight_};
}

}  // namespace platform
