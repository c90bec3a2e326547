#pragma once

#include "platform/ui/View.h"

#include <string>
#include <vector>

namespace platform {

// Views that arrange their subviews themselves, as a desktop's toolkit does
// with its layouts: the backend sizes and places the subviews from what they
// need, and a subview's frame size, when given, is the least it gets. The
// frames of arranged subviews mean nothing else; headless, the tree is all.

// Subviews in a column (first at the top) or a row (first at the left).
class StackView : public View {
public:
    enum class Orientation { Vertical, Horizontal };
    explicit StackView(Orientation orientation = Orientation::Vertical, double spacing = 8)
        : orientation_(orientation), spacing_(spacing) {}

    Orientation orientation() const { return orientation_; }
    double spacing() const { return spacing_; }
    // Adds `view` and returns it, for building a layout in one expression.
    template <class V>
    std::shared_ptr<V> add(std::shared_ptr<V> view) {
        addSubview(view);
        return view;
    }

private:
    Orientation orientation_;
    double spacing_;
};

// Rows of a caption and the view it describes.
class FormView : public View {
public:
    void addRow(const std::string& caption, const ViewRef& view);
    // The caption of each subview, in subview order.
    const std::vector<std::string>& captions() const { return captions_; }

private:
    std::vector<std::string> captions_;
};

// A titled group around its subviews, which are arranged in a column.
class Box : public View {
public:
    explicit Box(std::string title = {}) : title_(std::move(title)) {}
    const std::string& title() const { return title_; }

private:
    std::string title_;
};

// Pages with labelled tabs; one page is shown at a time.
class TabView : public View {
public:
    void addTab(const std::string& label, const ViewRef& page);
    // The label of each page, in subview order.
    const std::vector<std::string>& labels() const { return labels_; }
    int indexOfSelectedTab() const { return selected_; }
    void selectTabAtIndex(int index);

private:
    std::vector<std::string> labels_;
    int selected_ = 0;
};

}  // namespace platform
