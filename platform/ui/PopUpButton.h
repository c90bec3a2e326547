#pragma once

#include "platform/ui/Control.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// One choice of a pop-up button: a title and a tag, and optionally an action
// of its own, which is sent with the item as the sender.
class PopUpItem : public Object {
public:
    using Action = std::function<void(Object* sender)>;
    PopUpItem(std::string title, int tag, Action action)
        : title_(std::move(title)), tag_(tag), action_(std::move(action)) {}
    // A line between groups of items; it cannot be chosen.
    static std::shared_ptr<PopUpItem> separatorItem();
    bool isSeparatorItem() const { return separator_; }

    const std::string& title() const { return title_; }
    int tag() const { return tag_; }
    const Action& action() const { return action_; }
    // What the item stands for, for its owner to read (a camera's identifier).
    const std::string& representedObject() const { return representedObject_; }
    void setRepresentedObject(std::string object) { representedObject_ = std::move(object); }
    // An object the item stands for (a device), where a text is not enough.
    const ObjectRef& representedObjectRef() const { return representedObjectRef_; }
    void setRepresentedObject(ObjectRef object) { representedObjectRef_ = std::move(object); }
    // 1 when the item is marked as the current choice.
    int state() const { return state_; }
    void setState(int state) { state_ = state; }

private:
    std::string title_;
    int tag_;
    Action action_;
    std::string representedObject_;
    ObjectRef representedObjectRef_;
    int state_ = 0;
    bool separator_ = false;
};

using PopUpItemRef = std::shared_ptr<PopUpItem>;

// A pop-up menu of tagged items, one of them selected (or none). Choosing an
// item selects it and sends the item's own action, or else the button's with
// the button as the sender. The user's choices arrive through
// `userSelected`, which the backend calls (headless tests call it directly).
class PopUpButton : public Control {
public:
    using Action = PopUpItem::Action;
    explicit PopUpButton(Rect frame = {}) : Control(frame) {}

    PopUpItemRef addItem(const std::string& title, int tag, Action itemAction = {});
    // Puts `item` at `index` (at the end when beyond); a selection after it moves with its item.
    void insertItem(const PopUpItemRef& item, int index);
    void removeAllItems();
    const std::vector<PopUpItemRef>& items() const { return items_; }
    int numberOfItems() const { return static_cast<int>(items_.size()); }
    // A selection of the removed item goes; one after it moves with its item.
    void removeItemAtIndex(int index);

    // -1 when nothing is selected.
    int indexOfSelectedItem() const { return selected_; }
    PopUpItemRef selectedItem() const;
    int indexOfItemWithTag(int tag) const;
    // Selects the item with this tag; with none, nothing is selected and the
    // answer is false.
    bool selectItemWithTag(int tag);
    void selectItemAtIndex(int index);

    void setAction(Action action) { action_ = std::move(action); }
    // The user chose the item at `index`.
    void userSelected(int index);

private:
    std::vector<PopUpItemRef> items_;
    int selected_ = -1;
    Action action_;
};

}  // namespace platform
