#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/ui/Window.h"

namespace platform::desktop {

// Draws a window of the settings host: a normal top-level window in the
// desktop's style whose content view is laid out by Qt, or, for a window
// shown as a sheet, a dialog attached to its parent window that blocks the
// parent until it ends. Closing either (its close button, Escape in a sheet)
// asks the model, which decides. Keyboard focus follows the model's first
// responder and the other way round.
class QtPaneWindowPeer final : public Peer {
public:
    explicit QtPaneWindowPeer(Window& window);
    ~QtPaneWindowPeer() override;

    void modelChanged() override;
    QWidget* widget() const { return widget_; }
    // The peer's widget of a window that has one.
    static QWidget* widgetOf(const Window& window);

private:
    void syncContent();
    void sizeOnFirstShow();
    void syncFocus();
    void followFocus(QWidget* now);

    Window& window_;
    QPointer<QWidget> widget_;
    QPointer<QWidget> content_;
    bool shownBefore_ = false;
};

}  // namespace platform::desktop
