#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/ui/View.h"

namespace platform::desktop {

// Draws one view model with a Qt widget chosen by the model's kind: a line
// edit for editable text fields (masked for secure ones), a label for other
// text fields and image views, a push button or check box for buttons, a
// plain widget otherwise. Subviews are drawn as child widgets, their
// bottom-left frames flipped into Qt's top-left coordinates.
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

private:
    void createWidget();
    void syncContent();
    void syncSubviews();

    // Pointer crossings for views with tracking areas, and clicks for views
    // that take part in the responder chain themselves (a clickable picture).
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
    bool fills_ = false;
    double parentHeight_ = 0;
    Point offset_;
    Size fillSize_;
};

}  // namespace platform::desktop
