#pragma once

#include "platform/foundation/Object.h"
#include "platform/ui/Image.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class Peer;

struct MenuItem {
    std::string title;
    std::function<void(Object* sender)> action;  // none for a separator
    bool isSeparator() const { return !action && title.empty(); }
};

class Menu : public Object {
public:
    explicit Menu(std::string title = {}) : title_(std::move(title)) {}
    const std::string& title() const { return title_; }
    void addItem(MenuItem item) { items_.push_back(std::move(item)); }
    const std::vector<MenuItem>& items() const { return items_; }
    // Runs the action of the item with this title; false when there is none.
    bool performActionForItem(const std::string& title);

private:
    std::string title_;
    std::vector<MenuItem> items_;
};

using MenuRef = std::shared_ptr<Menu>;

// An item in the system status bar (the tray).
class StatusItem : public Object {
public:
    explicit StatusItem(double length) : length_(length) {}
    double length() const { return length_; }
    const ImageRef& image() const { return image_; }
    void setImage(const ImageRef& image);
    const MenuRef& menu() const { return menu_; }
    void setMenu(const MenuRef& menu);
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(const std::string& tip);
    bool highlightMode() const { return highlight_; }
    void setHighlightMode(bool on);

    void setPeer(std::shared_ptr<Peer> peer);
    Peer* peer() const { return peer_.get(); }

private:
    void changed();
    double length_;
    ImageRef image_;
    MenuRef menu_;
    std::string toolTip_;
    bool highlight_ = false;
    std::shared_ptr<Peer> peer_;
};

using StatusItemRef = std::shared_ptr<StatusItem>;

// The system status bar. A backend is told of added and removed items.
class StatusBar {
public:
    static constexpr double SquareLength = -2.0;
    static StatusBar& system();

    StatusItemRef statusItemWithLength(double length);
    void removeStatusItem(const StatusItemRef& item);
    const std::vector<StatusItemRef>& items() const { return items_; }

    using Listener = std::function<void(const StatusItemRef&, bool added)>;
    void setListener(Listener listener) { listener_ = std::move(listener); }
    void reset();

private:
    std::vector<StatusItemRef> items_;
    Listener listener_;
};

}  // namespace platform
