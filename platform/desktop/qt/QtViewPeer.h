#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/ui/TextField.h"
#include "platform/ui/View.h"

#include <vector>

namespace platform::desktop {

// Draws one view model with a Qt widget chosen by the model's kind: a line
// edit for editable text fields and secure ones (masked), a label for other
// text fields and image views, a push button or check box for buttons, the
// widgets of QtControlWidgets for the other controls, a tab widget, group
// box, form or box layout for the layout views, a plain widget otherwise.
// Subviews are drawn as child widgets: those of a layout view arranged by its
// layout, all others at their bottom-left frames flipped into Qt's top-left
// coordinates.
class QtViewPeer final : public Peer {
public:
    explicit QtViewPeer(View& view);
    ~QtViewPeer() override;

    // The view's peer, created (with those of its subviews) when missing.
    static QtViewPeer& attach(View& view);

    QWidget* widget() const { return widget_; }
    void modelChanged() override;
    // Places the widget in `parent` at the view's frame; `offset` moves it
    // (in model coordinates) when the parent is larger than the view's superview.
    void placeIn(QWidget* parent, double parentHeight, Point offset = {});
    // Makes the widget fill `parent` (a window's content area); a layout made
    // for another size keeps its subviews centred.
    void fill(QWidget* parent, double width, double height);
    // Hands the widget to a layout of `parent`, which places and sizes it
    // from now on; the view's frame size is the least it gets.
    void arrangeBy(QWidget* parent);
    // The view whose widget is `widget`, searched from `root` down.
    static View* viewOfWidget(View& root, const QWidget* widget);

private:
    enum class Placement { Free, Fills, Arranged };

    void createWidget();
    void syncContent();
    void syncText(const TextField& field);
    void syncSubviews();
    void arrangeSubviews();
    bool shouldShow() const;

    // Pointer crossings for views with tracking areas, clicks for views that
    // take part in the responder chain themselves (a clickable picture), and
    // Return for text fields with an action of their own.
    class InputFilter final : public QObject {
    public:
        explicit InputFilter(View& view) : view_(view) {}
        bool eventFilter(QObject* watched, QEvent* event) override;

    private:
        View& view_;
    };

    View& view_;
    QPointer<QWidget> widget_;
    InputFilter filter_{view_};
    // Where the widget was last placed, so that frame changes follow.
    Placement placement_ = Placement::Free;
    // Subviews already handed to this view's layout, in order.
    std::vector<View*> arranged_;
    double parentHeight_ = 0;
    Point offset_;
    Size fillSize_;
};

}  // namespace platform::desktop
