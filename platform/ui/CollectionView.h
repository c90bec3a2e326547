#pragma once

#include "platform/ui/ArrayController.h"
#include "platform/ui/View.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace platform {

// Shows one item view per object of its content controller, in order, the
// first at the top, each `itemHeight` points high. The item views are made by
// the prototype, which binds them to their object; a backend peer draws them
// as ordinary subviews.
class CollectionView : public View {
public:
    using ItemPrototype = std::function<ViewRef(const ObjectRef& representedObject, const Rect& itemFrame)>;

    explicit CollectionView(Rect frame = {}) : View(frame) {}
    ~CollectionView() override;

    void setItemPrototype(ItemPrototype prototype) { prototype_ = std::move(prototype); }
    double itemHeight() const { return itemHeight_; }
    void setItemHeight(double height) { itemHeight_ = height; }

    // Follows the controller's content from now on; the controller must
    // outlive the binding (or be unbound with nullptr first).
    void bindContent(const ArrayControllerRef& controller);

    std::size_t itemCount() const { return items_.size(); }
    const ViewRef& itemAtIndex(std::size_t index) const { return items_.at(index); }
    // Rebuilds the item views from the controller's content.
    void reloadData();
    // Places the items again after the view's frame changed.
    void layoutItems();

private:
    Rect frameOfItem(std::size_t index) const;

    ItemPrototype prototype_;
    double itemHeight_ = 42;
    ArrayControllerRef controller_;
    std::vector<ViewRef> items_;
};

using CollectionViewRef = std::shared_ptr<CollectionView>;

}  // namespace platform
